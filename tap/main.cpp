#include "tap/tap.h"

int main(int argc, char** argv) {
    return tap::run(argc, argv);
}
