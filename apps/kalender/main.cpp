#include "calendar/window/start.h"

int main(int argc, char** argv) { return mv::kalender_main(argc, argv); }
