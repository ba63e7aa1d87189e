// Entry point of kestrel9 (skeleton: the run-time shell replaces this).
int main() {
    return 0;
}
