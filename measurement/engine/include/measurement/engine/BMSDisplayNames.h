#pragma once
// Readable names and parameter lists for the engine's log lines. In debug mode (the installed
// monitor's switch) an internal name shows with its public spelling - "_s" as "session_start (_s)" -
// and parameter dictionaries as sorted lines; otherwise names show as they are. Pure functions over
// the fixed name tables; safe on any thread.

#include <string>
#include <string_view>

#include "measurement/engine/BMSNameTables.h"
#include "measurement/engine/BMSValue.h"

namespace beacon {

// Whether the monitor installed as the engine's log sink is in debug mode.
bool BMSIsDebugModeEnabled();

// The public name `table` maps to `name`, shown as "public (internal)": only in debug mode, with the
// analytics interface present, for an internal name. Among several public names, the first that does
// not begin with "beacon_" wins, else the last that does.
std::string BMSNameForDisplay(std::string_view name, const BMSNameTable& publicToInternal);
std::string BMSEventNameForDisplay(std::string_view name);
std::string BMSParameterNameForDisplay(std::string_view name);
// Experiment properties ("_exp_...") show as "experiment_id (_exp_...)" in any mode.
std::string BMSUserPropertyNameForDisplay(std::string_view name);

// In debug mode one line per parameter, sorted without regard to case, with display names, items
// arrays spelled out and "_err" codes named; otherwise the dictionary's own description.
std::string BMSParametersDescription(const BMSParameters& parameters);
std::string BMSParametersDescriptionWithIndent(const BMSParameters& parameters, std::string_view indent);
std::string BMSArrayDescription(const BMSValueItems& items);

}  // namespace beacon
