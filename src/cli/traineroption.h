#pragma once

// --trainer START,STEP,TARGET[,PASSES] of reedtab-cli play and trace.

#include "cli/args.h"
#include "playback/speedtrainer.h"

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace reedtab::cli {

/// Reads the option into `plan` (left empty when absent); false with `message` set when its
/// value is not a plan the player can follow.
inline bool trainerOption(Args& args, SpeedTrainer& plan, std::string& message) {
    const auto text = args.option("--trainer");
    if (!text) {
        return true;
    }
    std::vector<long> values;
    std::istringstream in(*text);
    for (std::string part; std::getline(in, part, ',');) {
        const auto value = parseInt(part);
        if (!value || *value < 0 || *value > 1000) {
            values.clear();
            break;
        }
        values.push_back(*value);
    }
    if (values.size() == 3) {
        values.push_back(1);
    }
    if (values.size() == 4) {
        plan = {static_cast<int>(values[0]), static_cast<int>(values[1]),
                static_cast<int>(values[2]), static_cast<int>(values[3])};
    }
    if (values.size() != 4 || !plan.valid()) {
        plan = {};
        message = "--trainer takes START,STEP,TARGET[,PASSES]: percentages 1 to 1000 with START "
                  "at most TARGET, a STEP and PASSES of at least 1";
        return false;
    }
    return true;
}

} // namespace reedtab::cli
