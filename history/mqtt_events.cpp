#include "history/mqtt_events.h"

#include <mosquitto.h>

#include <cstdlib>
#include <mutex>

namespace zor {
namespace {

// Keep-alive: a broker that has heard nothing for one and a half times this
// says the bench offline.
constexpr int KEEP_ALIVE_S = 10;

// The client library's set-up, once per process.
void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        mosquitto_lib_init();
        std::atexit([] { mosquitto_lib_cleanup(); });
    });
}

}  // namespace

bool parseMqttAddress(const std::string& text, MqttAddress& out) {
    const std::string scheme = "mqtt://";
    if (text.rfind(scheme, 0) != 0)
        return false;
    const size_t slash = text.find('/', scheme.size());
    std::string hostPort = text.substr(
        scheme.size(), slash == std::string::npos ? std::string::npos : slash - scheme.size());
    std::string prefix = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    while (!prefix.empty() && prefix.back() == '/')
        prefix.pop_back();
    if (prefix.empty() || prefix.find_first_of("+#") != std::string::npos)
        return false;
    MqttAddress a;
    if (const size_t at = hostPort.rfind('@'); at != std::string::npos) {
        const std::string user = hostPort.substr(0, at);
        const size_t colon = user.find(':');
        a.user = user.substr(0, colon);
        if (colon != std::string::npos)
            a.password = user.substr(colon + 1);
        if (a.user.empty())
            return false;
        hostPort.erase(0, at + 1);
    }
    // HOST, HOST:PORT, [IPv6] or [IPv6]:PORT.
    std::string port;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const size_t close = hostPort.find(']');
        if (close == std::string::npos)
            return false;
        const std::string rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest.front() != ':')
            return false;
        port = rest.empty() ? std::string() : rest.substr(1);
        if (!rest.empty() && port.empty())
            return false;
        hostPort = hostPort.substr(1, close - 1);
    } else if (const size_t colon = hostPort.find(':'); colon != std::string::npos) {
        port = hostPort.substr(colon + 1);
        if (port.empty())
            return false;
        hostPort.resize(colon);
    }
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        a.port = std::atoi(port.c_str());
        if (a.port < 1 || a.port > 65535)
            return false;
    }
    if (hostPort.empty())
        return false;
    a.host = hostPort;
    a.prefix = prefix;
    out = a;
    return true;
}

std::string topicLevel(const std::string& name) {
    std::string level;
    for (unsigned char c : name)
        level += c == '/' || c == '+' || c == '#' || c < 0x20 || c == 0x7f ? '_' : char(c);
    return level.empty() ? "_" : level;
}

MqttEvents::MqttEvents(const MqttAddress& address, const std::string& bench)
    : address_(address), base_(address.prefix + "/" + topicLevel(bench)) {}

MqttEvents::~MqttEvents() {
    if (!client_)
        return;
    if (started_) {
        // Offline by the bench's own word: a clean disconnect sends no will.
        if (connected_) {
            mosquitto_publish(client_, nullptr, (base_ + "/status").c_str(), 7, "offline", 1, true);
        }
        const bool wasConnected = connected_;
        mosquitto_disconnect(client_);
        // Connected: the thread sends what is queued and the disconnect,
        // then ends. Not: it may be waiting to connect again; it goes now.
        mosquitto_loop_stop(client_, !wasConnected);
    }
    mosquitto_destroy(client_);
}

std::string MqttEvents::topicOf(const std::string& port, const std::string& event) const {
    return port.empty() ? base_ + "/" + event : base_ + "/" + topicLevel(port) + "/" + event;
}

bool MqttEvents::start(std::string& why) {
    initLibrary();
    client_ = mosquitto_new(nullptr, true, this);
    if (!client_) {
        why = "out of memory";
        return false;
    }
    mosquitto_connect_callback_set(client_, &MqttEvents::onConnect);
    mosquitto_disconnect_callback_set(client_, &MqttEvents::onDisconnect);
    mosquitto_publish_callback_set(client_, &MqttEvents::onPublish);
    // A broker that comes back is found within two seconds.
    mosquitto_reconnect_delay_set(client_, 1, 2, false);
    const std::string status = base_ + "/status";
    int rc = mosquitto_will_set(client_, status.c_str(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !address_.user.empty())
        rc = mosquitto_username_pw_set(
            client_, address_.user.c_str(),
            address_.password.empty() ? nullptr : address_.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS) {
        // A broker that is down now is tried again by the thread.
        rc = mosquitto_connect_async(client_, address_.host.c_str(), address_.port, KEEP_ALIVE_S);
        if (rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_CONN_REFUSED || rc == MOSQ_ERR_NO_CONN)
            rc = MOSQ_ERR_SUCCESS;
    }
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop_start(client_);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = mosquitto_strerror(rc);
        return false;
    }
    started_ = true;
    return true;
}

void MqttEvents::onConnect(mosquitto*, void* self, int code) {
    auto* me = static_cast<MqttEvents*>(self);
    if (code != 0)
        return;
    me->connected_ = true;
    me->waiting_ = 0;
    // A broker that restarted has lost what it kept: the bench's status and
    // every port's state again.
    me->send(me->base_ + "/status", "online", true);
    std::lock_guard<std::mutex> lock(me->mutex_);
    for (const auto& [topic, payload] : me->states_)
        me->send(topic, payload, true);
}

void MqttEvents::onDisconnect(mosquitto*, void* self, int) {
    static_cast<MqttEvents*>(self)->connected_ = false;
}

void MqttEvents::onPublish(mosquitto*, void* self, int) {
    auto* me = static_cast<MqttEvents*>(self);
    if (me->waiting_ > 0)
        --me->waiting_;
}

void MqttEvents::send(const std::string& topic, const std::string& payload, bool retain) {
    if (!connected_ || waiting_ >= MAX_WAITING)
        return;
    // The states at least once (QoS 1), the other events at most once: a
    // progress event lost on a broken connection is not worth keeping.
    if (mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), retain ? 1 : 0, retain) == MOSQ_ERR_SUCCESS)
        ++waiting_;
}

void MqttEvents::publish(const std::string& port, const std::string& event,
                         const std::string& json) {
    if (!started_)
        return;
    const std::string topic = topicOf(port, event);
    const bool state = event == "state" && !port.empty();
    if (state) {
        std::lock_guard<std::mutex> lock(mutex_);
        states_[topic] = json;
    }
    send(topic, json, state);
}

}  // namespace zor
