// Entry point of kestrel9.
#include "model/kestrel9_model.h"
#include "shell/main_program.h"

int main(int argc, char** argv) {
    return runMain(argc, argv, kestrel9Model);
}
