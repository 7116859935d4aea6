#pragma once
// The process-wide hooks (the desktop the boxes and dialogs forward to, the
// local clock the services read, what an allocation failure does) have one
// owner at a time: set together when it begins, all of them reset when it
// ends, so nothing is left holding a desktop or a clock that is gone.

#include "platform/platform.h"
#include "services/conversions.h"
#include "services/memory.h"

namespace sorvane {

class ServiceHooks {
 public:
  ServiceHooks(platform::Dialogs& dialogs, LocalClockSource clock, void* clockContext,
               AllocationFailureHandler onAllocationFailure);
  ~ServiceHooks();
  ServiceHooks(const ServiceHooks&) = delete;
  ServiceHooks& operator=(const ServiceHooks&) = delete;
};

}  // namespace sorvane
