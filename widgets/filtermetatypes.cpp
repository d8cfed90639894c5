#include "widgets/filtermetatypes.h"

namespace Tessary {

void registerFilterMetaTypes()
{
    qRegisterMetaType<FilterRule>("Tessary::FilterRule");
    qRegisterMetaType<EventFilter>("Tessary::EventFilter");
}

} // namespace Tessary
