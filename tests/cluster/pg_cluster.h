// The private PostgreSQL cluster of scripts/pgnet, for tests that share a
// queue between hosts: started once for the test program, emptied before
// each test, stopped by the script that started it.
#pragma once

#include <string>

namespace qvfax::testing {

class PgCluster {
 public:
  static bool Start();
  static bool Stop();
  static bool Restart();
  // The postgresql:// URL of the test database.
  static std::string Url();
  // Drops every table qvfaxd made, so the next store starts from nothing.
  static void Empty();
  // Runs one statement; its first value, or "" (and a test failure) on error.
  static std::string Query(const std::string& sql);
};

}  // namespace qvfax::testing
