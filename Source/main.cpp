#include "startup.h"

int main(int argc, char** argv) { return vant_main(argc, argv); }
