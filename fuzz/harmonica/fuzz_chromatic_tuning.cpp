// Arbitrary bytes as a chromatic tuning file (see fuzzlayout.h).
#include "fuzzlayout.h"
#include "harmonica/chromaticlayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const reedtab::Settings block;
    static reedtab::ChromaticLayout layout(block);
    reedtab::fuzzing::readAndPlay(layout, data, size, 39);
    return 0;
}
