// HTTP requests to ClickHouse through libcurl.

#include "fleet/clickhouse_client.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace korvantis {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Received {
    const ClickHouseClient::Sink* sink = nullptr;
    std::string* body = nullptr;
    long status = 0;
    CURL* curl = nullptr;
    bool stopped = false;
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* user) {
    auto* received = static_cast<Received*>(user);
    const std::size_t bytes = size * count;
    if (received->status == 0) {
        curl_easy_getinfo(received->curl, CURLINFO_RESPONSE_CODE, &received->status);
    }
    // An error's text is kept whole; only a good answer goes to the sink.
    if (received->status == 200 && received->sink != nullptr && *received->sink) {
        if (!(*received->sink)(std::string_view(data, bytes))) {
            received->stopped = true;
            return 0;
        }
        return bytes;
    }
    received->body->append(data, bytes);
    return bytes;
}

int stopWhenAsked(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(stop)->load() ? 1 : 0;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

ClickHouseClient::ClickHouseClient(std::string url, std::string user, std::string password)
    : url_(std::move(url)), user_(std::move(user)), password_(std::move(password)) {
    initCurlOnce();
}

ClickHouseReply ClickHouseClient::post(std::string_view query, std::string_view body,
                                       std::string_view settings, const Sink& sink) const {
    ClickHouseReply reply;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        reply.error = "could not start an HTTP request";
        return reply;
    }
    char* escaped = curl_easy_escape(curl, query.data(), static_cast<int>(query.size()));
    std::string url = url_;
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += "query=";
    url += escaped;
    curl_free(escaped);
    if (!settings.empty()) {
        url += '&';
        url += settings;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");  // the server is named as it is reached
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    if (!user_.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(curl, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
    }
    struct curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    Received received;
    received.sink = &sink;
    received.body = &reply.body;
    received.curl = curl;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);

    if (stop_ != nullptr) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenAsked);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stop_));
    }
    CURLcode code = CURLE_OK;
    auto pause = std::chrono::milliseconds(100);
    for (int attempt = 0;; ++attempt) {
        reply.body.clear();
        received.status = 0;
        code = curl_easy_perform(curl);
        if (code != CURLE_COULDNT_CONNECT || attempt == 5 || (stop_ != nullptr && stop_->load())) {
            break;
        }
        std::this_thread::sleep_for(pause);
        pause *= 2;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        reply.error = "cancelled";
        return reply;
    }
    if (code != CURLE_OK && !received.stopped) {
        reply.error = std::string(curl_easy_strerror(code));
        if (code == CURLE_COULDNT_CONNECT) {
            reply.error += " (after 6 tries)";
        }
        if (reply.status != 0 && reply.status != 200) {
            reply.error += ": " + trimmed(reply.body);
        }
        return reply;
    }
    if (reply.status != 200) {
        reply.error =
            "the server answered " + std::to_string(reply.status) + ": " + trimmed(reply.body);
        return reply;
    }
    reply.ok = !received.stopped;
    if (received.stopped) {
        reply.error = "stopped";
    }
    return reply;
}

bool validTableName(std::string_view name) {
    auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (name.empty() || !letter(name[0])) {
        return false;
    }
    for (char c : name) {
        if (!letter(c) && !(c >= '0' && c <= '9') && c != '.') {
            return false;
        }
    }
    return true;
}

}  // namespace korvantis
