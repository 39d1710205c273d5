// A home of the queue on an apartment thread of its own, with the steady clock.
#pragma once

#include <memory>
#include <string>

#include "platform/apartment.h"
#include "queue/job_queue.h"

namespace qvfax::queue {

class ApartmentHome : public Home {
 public:
  ApartmentHome(std::shared_ptr<ComponentRegistry> registry, const std::string& name)
      : apartment_(std::move(registry), name) {}
  void Post(std::function<void()> work) override { apartment_.Post(std::move(work)); }

 private:
  Apartment apartment_;
};

}  // namespace qvfax::queue
