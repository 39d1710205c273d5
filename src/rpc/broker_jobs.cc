// The daemon's queue methods: submit prepares the documents (on the
// documents thread, as `prepare` does) and hands the job to the queue; the
// others read or change the queue, and `wait` answers when its job ends.
#include <unistd.h>

#include <filesystem>

#include <fmt/format.h>

#include "documents/document_error.h"
#include "queue/job_json.h"
#include "queue/job_queue.h"
#include "platform/private_files.h"
#include "rpc/broker_impl.h"
#include "rpc/broker_params.h"

namespace qvfax::rpc {

namespace {

int64_t JobParam(const json& params) { return IntegerParam(params, "job", "a job number"); }

queue::JobRequest RequestParam(const json& params, const PeerIdentity& who) {
  queue::JobRequest request;
  request.number = OptionalText(params, "number");
  request.header = OptionalText(params, "header");
  request.local_id = OptionalText(params, "local_id");
  request.ecm = params.value("ecm", std::string("on")) != "off";
  const auto at = params.find("at");
  if (at != params.end() && !at->is_null()) {
    if (!at->is_number_integer()) throw SurfaceError(codes::kInvalidParams, "params.at must be milliseconds since 1970");
    request.not_before_ms = at->get<int64_t>();
  }
  const auto kill = params.find("kill_at");
  if (kill != params.end() && !kill->is_null()) {
    if (!kill->is_number_integer()) throw SurfaceError(codes::kInvalidParams, "params.kill_at must be milliseconds since 1970");
    request.kill_ms = kill->get<int64_t>();
  }
  const auto retries = params.find("retries");
  if (retries != params.end()) {
    if (!retries->is_number_integer()) throw SurfaceError(codes::kInvalidParams, "params.retries must be a number");
    request.max_attempts = static_cast<int32_t>(retries->get<int64_t>() + 1);
  }
  request.owner_pid = who.pid;
  request.owner_session = who.session;
  request.client_request = OptionalText(params, "request");
  if (request.client_request.size() > 200) throw SurfaceError(codes::kInvalidParams, "params.request is longer than 200");
  return request;
}


}  // namespace

bool Broker::Impl::DispatchJobOperation(const std::shared_ptr<Connection>& conn, const Message& message) {
  const std::string& method = message.method;
  const json& params = message.params;
  if ((method == "follow" || method == "unfollow") && params.value("name", json()) == kJobsName) {
    std::lock_guard lock(conn->mutex);
    if (method == "follow") {
      conn->follows[kJobsName] = FollowFilter{};
    } else {
      conn->follows.erase(kJobsName);
    }
    conn->peer->Send(Result(message.id, true));
    return true;
  }
  static const std::set<std::string> kMethods{"submit", "jobs", "remove", "wait", "history", "attempts"};
  if (!kMethods.count(method)) return false;
  queue::JobQueue* jobs = nullptr;
  {
    std::lock_guard lock(mutex);
    jobs = queue;
  }
  if (!jobs) throw SurfaceError(codes::kMethodNotFound, "this qvfaxd keeps no queue (started with --no-queue)");
  try {
    if (method == "jobs") {
      // A page at a time when the client asks: those after job "after", at most "limit".
      const int64_t after = params.is_object() ? params.value("after", int64_t{0}) : 0;
      const int limit = params.is_object() && params.contains("limit") ? std::clamp(params.value("limit", 100), 1, 10000) : -1;
      if (!message.id.is_null()) conn->Send(ResultText(message.id, queue::JobsText(jobs->Jobs(after, limit))));
    } else if (method == "history") {
      const auto ended = jobs->History(std::clamp(params.value("limit", 50), 1, 10000));
      if (!message.id.is_null()) conn->Send(ResultText(message.id, queue::JobsText(ended)));
    } else if (method == "attempts") {
      const auto job = jobs->Find(JobParam(params));
      if (!job) throw queue::Refused(fmt::format("no job {}", JobParam(params)));
      json list = json::array();
      for (const auto& attempt : jobs->Attempts(job->id)) list.push_back(queue::ToJson(attempt));
      Reply(*conn, message.id, {{"job", queue::ToJson(*job)}, {"attempts", list}});
    } else if (method == "remove") {
      jobs->Remove(JobParam(params));
      Reply(*conn, message.id, true);
    } else if (method == "wait") {
      std::weak_ptr<Broker::Impl> weak = shared_from_this();
      AnswerLate(conn, message.id);
      jobs->WhenEnded(JobParam(params), [weak, conn, id = message.id](const queue::Job& job) {
        if (auto self = weak.lock()) self->Reply(*conn, id, queue::ToJson(job));
      });
    } else {  // submit
      const auto files = FilesParam(params);
      const auto wanted = OptionsParam(params);
      auto request = RequestParam(params, conn->who);
      // A repeat (the client lost the first answer) is answered with the job it made.
      if (const auto earlier = jobs->Submitted(request.client_request)) {
        Reply(*conn, message.id, {{"job", earlier->id}, {"pages", earlier->request.pages}, {"repeated", true}});
        return true;
      }
      AnswerLate(conn, message.id);
      std::string documents_folder;
      {
        std::lock_guard lock(mutex);
        // Hosts that share a queue share its documents' folder: the host's name keeps their folders apart.
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        documents_folder = fmt::format("{}/{}-{}-{}", queue_documents, host, ::getpid(), next_job_folder++);
      }
      documents->Post([self = shared_from_this(), conn, id = message.id, files, wanted, request, documents_folder,
                       jobs]() mutable {
        Failure failure{codes::kInternalError, "", nullptr};
        try {
          const auto prepared = documents::PrepareInChild(files, documents_folder, wanted);
          // A job acknowledged is a job kept: its pages are on the disk before the answer.
          if (!SyncFolder(documents_folder)) throw queue::StoreError("the prepared documents could not be saved");
          request.files = prepared.files;
          request.pages = prepared.pages;
          request.resolution = ResolutionCode(wanted.format.resolution);
          bool gone = false;
          {
            std::lock_guard lock(conn->mutex);
            gone = conn->closed;
          }
          // A client that left before the answer did not learn of the job: it is not queued,
          // so sending again (after a Ctrl-C) does not send twice.
          if (gone) throw std::runtime_error("the client left before its job was queued");
          const int64_t job = jobs->Submit(request);
          const auto queued = jobs->Find(job);
          if (!queued || queued->request.files != prepared.files) {  // a repeat that raced this one
            std::error_code ec;
            std::filesystem::remove_all(documents_folder, ec);
          }
          self->Reply(*conn, id, {{"job", job}, {"pages", queued ? queued->request.pages : prepared.pages}});
          return;
        } catch (const documents::DocumentError& e) {
          failure = DocumentFailure(e);
        } catch (const queue::Refused& e) {
          failure = {codes::kRefused, e.what(), nullptr};
        } catch (const queue::StoreError& e) {
          failure = {codes::kLocalFailure, e.what(), nullptr};
        } catch (const std::exception& e) {
          failure.message = e.what();
        }
        // Nothing of a job that was not taken stays behind, by the time the client hears.
        std::error_code ec;
        std::filesystem::remove_all(documents_folder, ec);
        self->Fail(*conn, id, failure);
      });
    }
  } catch (const queue::Refused& e) {
    Fail(*conn, message.id, Failure{codes::kRefused, e.what(), nullptr});
  } catch (const queue::StoreError& e) {
    Fail(*conn, message.id, Failure{codes::kInternalError, e.what(), nullptr});
  }
  return true;
}

}  // namespace qvfax::rpc
