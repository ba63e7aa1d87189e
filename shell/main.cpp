// Entry point of kestrel9.
#include "shell/main_program.h"
#include "shell/standin_model.h"

int main(int argc, char** argv) {
    return runMain(argc, argv, standinModel);
}
