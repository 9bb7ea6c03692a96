// The lifecycle watch point's variable; null unless a test program sets it.
#include "infra/LifecycleProbe.h"

namespace rover {

TLifecycleProbe LifecycleProbe = nullptr;

} // namespace rover
