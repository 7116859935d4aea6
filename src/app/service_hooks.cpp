#include "app/service_hooks.h"

#include "app/dialogs.h"

namespace sorvane {
namespace {

ServiceHooks* newest = nullptr;  // the owner whose hooks are in force

}  // namespace

ServiceHooks::ServiceHooks(platform::Dialogs& dialogs, LocalClockSource clock, void* context,
                           AllocationFailureHandler onAllocationFailure)
    : dialogs_(dialogs),
      clock_(clock),
      context_(context),
      onAllocationFailure_(onAllocationFailure),
      older_(newest) {
  newest = this;
  install();
}

ServiceHooks::~ServiceHooks() {
  if (newest != this) {
    // An older owner ends while a newer one's hooks are in force: they stay.
    for (ServiceHooks* h = newest; h; h = h->older_) {
      if (h->older_ == this) {
        h->older_ = older_;
        break;
      }
    }
    return;
  }
  newest = older_;
  if (newest) {
    newest->install();
    return;
  }
  setServicePlatform(nullptr);
  setLocalClockSource(nullptr, nullptr);
  setAllocationFailureHandler(nullptr);
}

void* ServiceHooks::currentContext() { return newest ? newest->context_ : nullptr; }

void ServiceHooks::install() const {
  setAllocationFailureHandler(onAllocationFailure_);
  setServicePlatform(&dialogs_);
  setLocalClockSource(clock_, context_);
}

}  // namespace sorvane
