#include "platform/apartment.h"

#include <iostream>
#include <thread>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "platform/automation_error.h"
#include "platform/steady_clock.h"

namespace qvfax {

namespace {
thread_local ApartmentContext* tls_current = nullptr;
}

ApartmentContext* CurrentApartment() { return tls_current; }

ApartmentContext& RequireApartment() {
  if (!tls_current) RaiseObjectNotSet();
  return *tls_current;
}

ApartmentScope::ApartmentScope(ApartmentContext& context) : previous_(tls_current) {
  tls_current = &context;
}

ApartmentScope::~ApartmentScope() { tls_current = previous_; }

void RunGuarded(const char* what, const std::function<void()>& handler) {
  int32_t number = 0;
  std::string text;
  try {
    handler();
    return;
  } catch (const AutomationError& e) {
    number = e.number();
    text = std::to_string(e.number()) + " (" + e.source() + "): " + e.description();
    std::cerr << "qvfax: " << what << ": error " << text << "\n";
    text = "error " + text;
  } catch (const std::exception& e) {
    text = e.what();
    std::cerr << "qvfax: " << what << ": " << text << "\n";
  }
  if (auto* context = CurrentApartment(); context && context->on_fault) {
    try {
      context->on_fault(number, text);
    } catch (const std::exception&) {
      // Whoever listened is gone; stderr has it.
    }
  }
}

struct Apartment::Impl {
  std::string name;
  asio::io_context loop;
  asio::executor_work_guard<asio::io_context::executor_type> work{loop.get_executor()};
  ApartmentContext context;
  std::thread thread;
};

Apartment::Apartment(std::shared_ptr<ComponentRegistry> registry, std::string name)
    : impl_(std::make_shared<Impl>()) {
  impl_->name = std::move(name);
  impl_->context.registry = std::move(registry);
  impl_->context.clock = std::make_shared<SteadyClock>(impl_->loop);
  // The thread holds its own reference: an apartment destroyed from one of its
  // own handlers lets the thread finish that handler and clean up after itself.
  impl_->thread = std::thread([impl = impl_] {
    ApartmentScope scope(impl->context);
    impl->loop.run();
    // Objects still held by the context are released on their own thread.
    impl->context = ApartmentContext{};
  });
}

Apartment::~Apartment() {
  impl_->work.reset();
  impl_->loop.stop();
  if (!impl_->thread.joinable()) return;
  if (IsCurrentThread()) {
    impl_->thread.detach();
  } else {
    impl_->thread.join();
  }
}

bool Apartment::IsCurrentThread() const { return impl_->thread.get_id() == std::this_thread::get_id(); }

const std::string& Apartment::name() const { return impl_->name; }

void Apartment::Post(std::function<void()> work) {
  asio::post(impl_->loop, [w = std::move(work), n = impl_->name] {
    RunGuarded(n.c_str(), w);
  });
}

}  // namespace qvfax
