#include "pg_cluster.h"

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

namespace qvfax::testing {

namespace {

int PgNet(const std::string& command) {
  return std::system(("bash " QVFAX_SOURCE_DIR "/scripts/pgnet/pgnet " + command).c_str());
}

}  // namespace

bool PgCluster::Start() { return PgNet("start") == 0; }
bool PgCluster::Stop() { return PgNet("stop") == 0; }
bool PgCluster::Restart() { return PgNet("restart") == 0; }

std::string PgCluster::Url() {
  std::string url;
  if (FILE* out = ::popen("bash " QVFAX_SOURCE_DIR "/scripts/pgnet/pgnet url", "r")) {
    char line[512];
    if (std::fgets(line, sizeof line, out)) url = line;
    ::pclose(out);
  }
  while (!url.empty() && url.back() == '\n') url.pop_back();
  return url;
}

void PgCluster::Empty() {
  Query("SET client_min_messages = warning; DROP TABLE IF EXISTS attempts, received, jobs, qvfax_schema CASCADE");
}

std::string PgCluster::Query(const std::string& sql) {
  PGconn* conn = PQconnectdb(Url().c_str());
  std::string value;
  if (PQstatus(conn) != CONNECTION_OK) {
    ADD_FAILURE() << "cannot reach the test cluster: " << PQerrorMessage(conn);
  } else {
    PGresult* r = PQexec(conn, sql.c_str());
    const auto status = PQresultStatus(r);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      ADD_FAILURE() << sql << ": " << PQerrorMessage(conn);
    } else if (PQntuples(r) > 0) {
      value = PQgetvalue(r, 0, 0);
    }
    PQclear(r);
  }
  PQfinish(conn);
  return value;
}

}  // namespace qvfax::testing
