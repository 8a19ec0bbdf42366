// Arbitrary bytes as a diatonic tuning file (see fuzzlayout.h).
#include "fuzzlayout.h"
#include "harmonica/diatoniclayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const reedtab::Settings block;
    static reedtab::DiatonicLayout layout(block);
    reedtab::fuzzing::readAndPlay(layout, data, size, 63);
    return 0;
}
