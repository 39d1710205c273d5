// Reading JSON configuration files field by field: every field is checked,
// unknown fields are refused, and each error names the file and the field.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace qvfax {

template <typename Error>
class ConfigReader {
 public:
  explicit ConfigReader(std::string source) : source_(std::move(source)) {}

  [[noreturn]] void Fail(const std::string& field, const std::string& problem) const {
    throw Error(fmt::format("{}: {}: {}", source_, field, problem));
  }

  void OnlyKnownKeys(const nlohmann::json& object, const std::string& where,
                     const std::set<std::string>& known) const {
    if (!object.is_object()) Fail(where, "must be an object");
    for (const auto& [key, value] : object.items()) {
      if (!known.count(key)) Fail(Join(where, key), "unknown field");
    }
  }

  std::string String(const nlohmann::json& object, const std::string& where, const char* key,
                     std::string fallback) const {
    if (!object.contains(key)) return fallback;
    if (!object[key].is_string()) Fail(Join(where, key), "must be a string");
    return object[key].get<std::string>();
  }

  int32_t Integer(const nlohmann::json& object, const std::string& where, const char* key, int32_t fallback,
                  int64_t min, int64_t max) const {
    if (!object.contains(key)) return fallback;
    const auto& v = object[key];
    if (!v.is_number_integer()) Fail(Join(where, key), "must be a whole number");
    const int64_t n = v.get<int64_t>();
    if (n < min || n > max) Fail(Join(where, key), fmt::format("must be from {} to {}", min, max));
    return static_cast<int32_t>(n);
  }

  bool Boolean(const nlohmann::json& object, const std::string& where, const char* key, bool fallback) const {
    if (!object.contains(key)) return fallback;
    if (!object[key].is_boolean()) Fail(Join(where, key), "must be true or false");
    return object[key].get<bool>();
  }

  double Number(const nlohmann::json& object, const std::string& where, const char* key, double fallback,
                double min, double max) const {
    if (!object.contains(key)) return fallback;
    const auto& v = object[key];
    if (!v.is_number()) Fail(Join(where, key), "must be a number");
    const double n = v.get<double>();
    if (n < min || n > max) Fail(Join(where, key), fmt::format("must be from {} to {}", min, max));
    return n;
  }

  // One of `choices`, the first being what no value means.
  std::string OneOf(const nlohmann::json& object, const std::string& where, const char* key,
                    const std::vector<std::string>& choices) const {
    const std::string value = String(object, where, key, choices.front());
    if (std::find(choices.begin(), choices.end(), value) != choices.end()) return value;
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) {
      list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    }
    Fail(Join(where, key), fmt::format("must be {}, not \"{}\"", list, value));
  }

  // A station id (TSI/CSI): at most 20 characters of digits, '+' and spaces, as T.30 allows.
  std::string StationId(const nlohmann::json& object, const std::string& where, const char* key,
                        std::string fallback) const {
    const std::string id = String(object, where, key, std::move(fallback));
    const bool fits = id.size() <= 20 && std::all_of(id.begin(), id.end(), [](char c) {
      return std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == ' ';
    });
    if (!fits) Fail(Join(where, key), "must be at most 20 digits, '+' and spaces");
    return id;
  }

  static std::string Join(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
  }

 private:
  std::string source_;
};

// The whole text of a configuration file; throws Error naming the file when it cannot be read.
template <typename Error>
std::string ReadConfigFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Error(path + ": cannot be read");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace qvfax
