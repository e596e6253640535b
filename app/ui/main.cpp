#include "app/ui/startup.h"

int main(int argc, char** argv) { return kestrel::RunKestrel(argc, argv); }
