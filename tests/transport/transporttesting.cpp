#include "transporttesting.h"

#include "model/midievent.h"

#include <array>

namespace reedtab::testing {

std::vector<int> TransportTest::soundingKeys() const {
    std::array<bool, 16 * 128> sounding{};
    for (const Bytes& bytes : heard()) {
        if (bytes.size() != 3) {
            continue;
        }
        const int status = bytes[0] & 0xF0;
        const int channel = bytes[0] & 0x0F;
        if (status == 0x90 && bytes[2] > 0) {
            sounding[static_cast<std::size_t>(channel * 128 + bytes[1])] = true;
        } else if (status == 0x80 || status == 0x90) {
            sounding[static_cast<std::size_t>(channel * 128 + bytes[1])] = false;
        } else if (status == 0xB0 && (bytes[1] == 123 || bytes[1] == 120)) {
            for (int key = 0; key < 128; ++key) {
                sounding[static_cast<std::size_t>(channel * 128 + key)] = false;
            }
        }
    }
    std::vector<int> keys;
    for (std::size_t i = 0; i < sounding.size(); ++i) {
        if (sounding[i]) {
            keys.push_back(static_cast<int>(i));
        }
    }
    return keys;
}

std::vector<double> TransportTest::timesOf(const Bytes& bytes) const {
    std::vector<double> times;
    for (const auto& message : out.messages()) {
        if (message.bytes == bytes) {
            times.push_back(static_cast<double>(message.time.count()) / 1e6);
        }
    }
    return times;
}

int TransportTest::noteIndex(std::int32_t tick, int key) const {
    const MergedEventList& events = song.mergedEvents;
    for (int i = events.lowerBound(tick); i < events.count() && events[i]->tick == tick; ++i) {
        if (events[i]->isNoteOn() && events[i]->data1 == key) {
            return i;
        }
    }
    return -1;
}

} // namespace reedtab::testing
