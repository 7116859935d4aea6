#pragma once
// The process-wide hooks (the desktop the boxes and dialogs forward to, the
// local clock the services read, what an allocation failure does) have one
// owner at a time: set together when it begins, all of them reset when it
// ends, so nothing is left holding a desktop or a clock that is gone. Owners
// may overlap (a second frame made while the first still lives): the newest
// one's hooks are in force, and when an owner ends only its own are undone,
// handing them back to the newest owner still alive.

#include "platform/platform.h"
#include "services/conversions.h"
#include "services/memory.h"

namespace sorvane {

class ServiceHooks {
 public:
  // `context` is handed to the clock, and kept for the owner (see current).
  ServiceHooks(platform::Dialogs& dialogs, LocalClockSource clock, void* context,
               AllocationFailureHandler onAllocationFailure);
  ~ServiceHooks();
  ServiceHooks(const ServiceHooks&) = delete;
  ServiceHooks& operator=(const ServiceHooks&) = delete;

  // The context of the hooks in force, or null when nobody holds them; for
  // an allocation failure handler, which has nothing else to go by.
  static void* currentContext();

 private:
  void install() const;

  platform::Dialogs& dialogs_;
  LocalClockSource clock_;
  void* context_;
  AllocationFailureHandler onAllocationFailure_;
  ServiceHooks* older_;  // the owner before this one, still alive
};

}  // namespace sorvane
