#include "app/service_hooks.h"

#include "app/dialogs.h"

namespace sorvane {

ServiceHooks::ServiceHooks(platform::Dialogs& dialogs, LocalClockSource clock, void* clockContext,
                           AllocationFailureHandler onAllocationFailure) {
  setAllocationFailureHandler(onAllocationFailure);
  setServicePlatform(&dialogs);
  setLocalClockSource(clock, clockContext);
}

ServiceHooks::~ServiceHooks() {
  setServicePlatform(nullptr);
  setLocalClockSource(nullptr, nullptr);
  setAllocationFailureHandler(nullptr);
}

}  // namespace sorvane
