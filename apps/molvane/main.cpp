#include "shell/start.h"

int main(int argc, char** argv) { return mv::molvane_main(argc, argv); }
