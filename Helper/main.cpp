#include "Helper/Helper4Ostrakel.h"

int main(int argc, char** argv) { return ostrakel::helperMain(argc, argv); }
