#include "serve_command.h"

#include "html5_page.h"

#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>
#include <thread>

namespace quillon {
namespace cli {
namespace {

namespace fs = std::filesystem;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// Splits a CSV line at commas; a field in double quotes may hold commas
// (and "" for a quote).
std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (auto& field : fields) field = Trim(field);
  return fields;
}

bool ReadNumber(const std::string& text, double* number) {
  if (text.empty()) return false;
  char* end = nullptr;
  *number = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(*number);
}

std::string ContentType(const std::string& path) {
  std::string extension = fs::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".html" || extension == ".htm") return "text/html; charset=utf-8";
  if (extension == ".jpg" || extension == ".jpeg") return "image/jpeg";
  if (extension == ".bmp") return "image/bmp";
  if (extension == ".png") return "image/png";
  if (extension == ".gif") return "image/gif";
  if (extension == ".css") return "text/css";
  if (extension == ".js") return "text/javascript";
  // Page descriptions and logs are Latin-1 text.
  if (extension == ".jdf" || extension == ".log" || extension == ".txt" || extension == ".csv") {
    return "text/plain; charset=iso-8859-1";
  }
  return "application/octet-stream";
}

// The index page: every converted picture (NAME.html with its NAME.JDF),
// each opened on the feed of this server.
std::string IndexPage(const fs::path& root) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(root, error)) {
    const fs::path file = entry.path();
    if (file.extension() != ".html" || !entry.is_regular_file(error)) continue;
    const std::string stem = file.stem().string();
    if (fs::exists(root / (stem + ".JDF"), error)) names.push_back(stem);
  }
  std::sort(names.begin(), names.end());
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Pictures</title>\n</head>\n<body>\n<h1>Pictures</h1>\n";
  if (names.empty()) page += "<p>This folder holds no converted picture.</p>\n";
  page += "<ul>\n";
  for (const auto& name : names) {
    page += "<li><a href=\"" + UrlPathEscape(name + ".html") + "?feed=/feed\">" + HtmlEscape(name) +
            "</a></li>\n";
  }
  page += "</ul>\n</body>\n</html>\n";
  return page;
}

// A simulated value of a tag at `seconds`: a sine over 0 to 100 whose period
// (10 to 40 seconds) and phase come from the tag's name.
double SimulatedValue(const std::string& tag, double seconds) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : tag) hash = (hash ^ c) * 16777619u;
  const double period = 10 + hash % 31;
  const double phase = (hash >> 8) % 1000 / 1000.0;
  const double value = 50 + 50 * std::sin(2 * M_PI * (seconds / period + phase));
  return std::round(value * 100) / 100;
}

std::atomic<bool> g_stopping{false};

}  // namespace

bool ReadFeedValues(const std::string& text, std::vector<FeedValue>* values, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const auto fields = SplitCsv(trimmed);
    if (number == 1 && !fields.empty() && fields[0] == "time") continue;
    FeedValue value;
    if (fields.size() < 3 || fields.size() > 4) {
      *error = "line " + std::to_string(number) + ": expected time,tag,value[,quality]";
      return false;
    }
    if (!ReadNumber(fields[0], &value.time) || value.time < 0) {
      *error = "line " + std::to_string(number) + ": the time is not a number of seconds: " +
               fields[0];
      return false;
    }
    if (fields[1].empty()) {
      *error = "line " + std::to_string(number) + ": the tag is empty";
      return false;
    }
    value.tag = fields[1];
    value.value = fields[2];
    if (fields.size() == 4) {
      if (fields[3] != "good" && fields[3] != "bad") {
        *error = "line " + std::to_string(number) + ": the quality must be good or bad";
        return false;
      }
      value.quality = fields[3];
    }
    values->push_back(value);
  }
  // Replayed in time order; values of the same time keep their file order.
  std::stable_sort(values->begin(), values->end(),
                   [](const FeedValue& a, const FeedValue& b) { return a.time < b.time; });
  return true;
}

std::string FeedBatchJson(const std::vector<FeedValue>& batch) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& value : batch) {
    double number = 0;
    nlohmann::json item;
    item["tag"] = value.tag;
    if (ReadNumber(value.value, &number)) {
      item["value"] = number;
    } else {
      item["value"] = value.value;
    }
    item["quality"] = value.quality;
    list.push_back(item);
  }
  // Texts that are not valid UTF-8 are replaced rather than refused.
  return list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ResolveServedFile(const std::string& root, const std::string& request_path) {
  if (request_path.empty() || request_path[0] != '/') return "";
  // Every part of the path is a plain name: no "..", no ".", no hidden file,
  // no backslash.
  std::string part;
  std::istringstream parts(request_path.substr(1));
  while (std::getline(parts, part, '/')) {
    if (part.empty() || part[0] == '.' || part.find('\\') != std::string::npos ||
        part.find('\0') != std::string::npos) {
      return "";
    }
  }
  std::error_code error;
  const fs::path base = fs::canonical(root, error);
  if (error) return "";
  const fs::path file = fs::canonical(base / request_path.substr(1), error);
  if (error) return "";
  // Symbolic links are followed only when they stay inside the folder.
  const std::string base_text = base.string() + "/";
  if (file.string().compare(0, base_text.size(), base_text) != 0) return "";
  if (!fs::is_regular_file(file, error)) return "";
  return file.string();
}

int RunServe(const ServeOptions& options) {
  std::error_code error;
  if (!fs::is_directory(options.directory, error)) {
    std::fprintf(stderr, "quillon: %s is not a folder\n", options.directory.c_str());
    return 1;
  }
  std::vector<FeedValue> replay;
  if (!options.values_file.empty()) {
    std::ifstream file(options.values_file, std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "quillon: cannot read %s\n", options.values_file.c_str());
      return 1;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::string problem;
    if (!ReadFeedValues(text.str(), &replay, &problem)) {
      std::fprintf(stderr, "quillon: %s: %s\n", options.values_file.c_str(), problem.c_str());
      return 1;
    }
  }
  const std::string root = fs::canonical(options.directory, error).string();

  // SIGINT and SIGTERM are taken by one thread that stops the server, so
  // that no other thread is interrupted.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that goes away must not end the program.
  signal(SIGPIPE, SIG_IGN);

  httplib::Server server;
  server.set_keep_alive_timeout(1);
  server.Get("/", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content(IndexPage(root), "text/html; charset=utf-8");
  });
  server.Get("/feed", [&](const httplib::Request& request, httplib::Response& response) {
    std::vector<std::string> tags;
    if (request.has_param("tags")) {
      std::istringstream list(request.get_param_value("tags"));
      std::string tag;
      while (std::getline(list, tag, ',')) {
        if (!tag.empty()) tags.push_back(tag);
      }
    }
    const bool simulated = options.values_file.empty();
    response.set_header("Cache-Control", "no-cache");
    response.set_header("Access-Control-Allow-Origin", "*");
    const auto start = std::chrono::steady_clock::now();
    auto next = std::make_shared<size_t>(0);
    auto last_sent = std::make_shared<double>(-1);
    response.set_chunked_content_provider(
        "text/event-stream",
        [&, tags, simulated, start, next, last_sent](size_t, httplib::DataSink& sink) {
          if (g_stopping || !sink.is_writable()) return false;
          const double seconds =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          std::vector<FeedValue> batch;
          if (simulated) {
            // One batch a second.
            if (std::floor(seconds) > *last_sent) {
              *last_sent = std::floor(seconds);
              for (const auto& tag : tags) {
                std::ostringstream value;
                value << SimulatedValue(tag, seconds);
                batch.push_back({seconds, tag, value.str(), "good"});
              }
            }
          } else {
            while (*next < replay.size() && replay[*next].time <= seconds) {
              const FeedValue& value = replay[*next];
              ++*next;
              if (tags.empty() || std::find(tags.begin(), tags.end(), value.tag) != tags.end()) {
                batch.push_back(value);
              }
            }
          }
          std::string message;
          if (!batch.empty()) {
            message = "data: " + FeedBatchJson(batch) + "\n\n";
          } else if (seconds - *last_sent > 10) {
            // A comment now and then finds a client that has gone.
            *last_sent = seconds;
            message = ": waiting\n\n";
          }
          if (!message.empty() && !sink.write(message.data(), message.size())) return false;
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
          return !g_stopping;
        });
  });
  server.Get(R"(/.+)", [&](const httplib::Request& request, httplib::Response& response) {
    const std::string file = ResolveServedFile(root, request.path);
    std::ifstream in(file, std::ios::binary);
    if (file.empty() || !in) {
      response.status = 404;
      response.set_content("Not found\n", "text/plain");
      return;
    }
    std::stringstream content;
    content << in.rdbuf();
    response.set_content(content.str(), ContentType(file).c_str());
  });

  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port(options.host.c_str());
  } else if (!server.bind_to_port(options.host.c_str(), port)) {
    port = -1;
  }
  if (port < 0) {
    std::fprintf(stderr, "quillon: cannot listen on %s port %d\n", options.host.c_str(),
                 options.port);
    return 1;
  }
  std::printf("quillon: serving %s at http://%s:%d/ (Ctrl-C stops)\n", root.c_str(),
              options.host.c_str(), port);
  std::fflush(stdout);

  std::atomic<bool> done{false};
  std::thread waiter([&] {
    const timespec wait = {0, 200 * 1000 * 1000};
    while (!done) {
      if (sigtimedwait(&stop_signals, nullptr, &wait) > 0) {
        g_stopping = true;
        server.stop();
        return;
      }
    }
  });
  const bool listened = server.listen_after_bind();
  done = true;
  waiter.join();
  if (!g_stopping && !listened) {
    std::fprintf(stderr, "quillon: the server stopped on an error\n");
    return 1;
  }
  std::printf("quillon: stopped\n");
  return 0;
}

}  // namespace cli
}  // namespace quillon
