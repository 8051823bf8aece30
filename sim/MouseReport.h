// A plain-text account of what a simulated mouse holds, as zentrova-sim
// prints it when the program it ran has exited.
#ifndef ZENTROVA_SIM_MOUSEREPORT_H
#define ZENTROVA_SIM_MOUSEREPORT_H

#include <string>

#include "sim/MouseModel.h"

namespace zentrova::sim {

// `label` names the mouse in the first line (e.g. "mouse 1").
std::string describeMouse(const MouseModel& mouse, const std::string& label);

} // namespace zentrova::sim

#endif
