#pragma once

#include "rtdc/eventfilter.h"
#include "rtdc/filterrule.h"

#include <QMetaType>

// Lets queued signals and QVariant carry rules and filters by value.
Q_DECLARE_METATYPE(Tessary::FilterRule)
Q_DECLARE_METATYPE(Tessary::EventFilter)

namespace Tessary {

// Registers "Tessary::FilterRule" and "Tessary::EventFilter"; called once at
// start-up, before any queued connection carries them. Safe to call again.
void registerFilterMetaTypes();

} // namespace Tessary
