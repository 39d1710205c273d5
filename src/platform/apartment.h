// An apartment: one thread, one event loop, and the objects the object model
// keeps once per thread. Every call, timer and control event of the objects
// living in it runs on that thread, one at a time, so nothing is locked.
#pragma once

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/clock.h"
#include "platform/component_registry.h"

namespace qvfax {

class QvBkgFaxVmResDll;
class LogFileWriter;
class StatusDocument;
class TextPublisher;
class FaxManager;
class ControlHost;

// Settings of the automation runtime that a server object records at construction.
struct AutomationRuntime {
  bool task_visible = true;
  int32_t request_pending_timeout_ms = 5000;
  int32_t server_busy_timeout_ms = 10000;
  bool server_busy_raises_error = true;
};

struct ApartmentContext {
  std::shared_ptr<Clock> clock;
  std::shared_ptr<ComponentRegistry> registry;
  AutomationRuntime runtime;

  // The once-per-thread objects; the latest server constructor's are in use.
  std::shared_ptr<QvBkgFaxVmResDll> resources;
  std::shared_ptr<LogFileWriter> log_writer;
  std::shared_ptr<StatusDocument> document;
  std::shared_ptr<TextPublisher> status_publisher;
  std::shared_ptr<ControlHost> control_host;
  std::shared_ptr<FaxManager> fax_manager;
  int live_servers = 0;  // the shared objects stay while any server object lives

  // Whose work this apartment does ("fax 3", "job 12"): the daily log file,
  // shared by every apartment, names it on each line. "" when unnamed.
  std::string log_label;

  // Told of an error that escaped a timer or control handler (after it is on
  // stderr): the work that handler was doing stopped there, and whoever waits
  // for it would wait forever. Errors give their number, 0 for others.
  std::function<void(int32_t number, const std::string& text)> on_fault;
};

// The context of the apartment running on this thread, or nullptr.
ApartmentContext* CurrentApartment();
// Same, but raises error 91 when the thread has no apartment.
ApartmentContext& RequireApartment();

// Makes `context` the current apartment of this thread for the scope's life;
// tests use it to drive an apartment on the test thread with a manual clock.
class ApartmentScope {
 public:
  explicit ApartmentScope(ApartmentContext& context);
  ~ApartmentScope();
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;

 private:
  ApartmentContext* previous_;
};

// Runs a handler the apartment calls on its own (a timer or a control event):
// an error escaping it is reported on stderr and does not stop the apartment.
void RunGuarded(const char* what, const std::function<void()>& handler);

// An apartment on a thread of its own, with the steady clock.
class Apartment {
 public:
  explicit Apartment(std::shared_ptr<ComponentRegistry> registry, std::string name = "apartment");
  // Cancels what is pending and joins the thread; from one of its own
  // handlers, lets the thread end by itself once that handler returns.
  ~Apartment();
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;

  const std::string& name() const;
  bool IsCurrentThread() const;
  void Post(std::function<void()> work);

  // Runs `work` on the apartment's thread and waits for its result or error.
  template <typename F>
  auto Call(F work) -> std::invoke_result_t<F> {
    using R = std::invoke_result_t<F>;
    auto task = std::make_shared<std::packaged_task<R()>>(std::move(work));
    auto result = task->get_future();
    Post([task] { (*task)(); });
    return result.get();
  }

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace qvfax
