#include "components/lifecycle_notifier.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

namespace qvfax {

namespace {
void Journal(const char* what) {
  // Quiet unless asked: tests and the command line create many objects.
  if (const char* v = std::getenv("QVFAX_JOURNAL"); v && *v == '1') {
    std::clog << "qvfax[" << ::getpid() << "]: server " << what << "\n";
  }
}
}  // namespace

bool JournalLifecycleNotifier::Initialized() {
  Journal("initialised");
  return true;
}

bool JournalLifecycleNotifier::Terminating() {
  Journal("terminating");
  return true;
}

}  // namespace qvfax
