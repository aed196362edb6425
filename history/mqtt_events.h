#pragma once
// The bench station's events on a message broker, for the centre's screens:
// each event as the JSON object `station --json` prints, on
//   PREFIX/<bench>/<port>/<event>
// with the port's state also kept by the broker (retained) on
//   PREFIX/<bench>/<port>/state
// and the bench's own status, "online" while connected and "offline" (the
// broker says it for the bench when the bench goes away: its last will) on
//   PREFIX/<bench>/status
// The connection lives on a thread of the client library's, which connects
// again by itself after the broker goes away. Publishing never waits: with
// no broker, or with too many messages not yet sent, an event is dropped;
// the states are sent again, whole, on every new connection.
#include <atomic>
#include <map>
#include <mutex>
#include <string>

struct mosquitto;

namespace zor {

struct MqttAddress {
    std::string host;
    int port = 1883;
    std::string prefix;          // the topics' first levels, without a '/' at either end
    std::string user, password;  // empty: anonymous
};

// mqtt://[USER[:PASSWORD]@]HOST[:PORT]/PREFIX; false when text is not that.
bool parseMqttAddress(const std::string& text, MqttAddress& out);

// A name (a port's, a bench's) as one topic level: '/', '+', '#' (and
// control bytes) made '_'; empty becomes "_".
std::string topicLevel(const std::string& name);

class MqttEvents {
  public:
    MqttEvents(const MqttAddress& address, const std::string& bench);
    // Says the bench offline, then disconnects and ends the thread.
    ~MqttEvents();
    MqttEvents(const MqttEvents&) = delete;
    MqttEvents& operator=(const MqttEvents&) = delete;

    // Starts the thread and the first connection; false with the client
    // library's reason when it cannot even start (a broker that is down is
    // no reason: it is tried again).
    bool start(std::string& why);

    // An event about port (empty for the bench's own: "summary"); "state"
    // is also kept as the port's retained state. Returns at once.
    void publish(const std::string& port, const std::string& event, const std::string& json);

    // Messages handed to the client library and not yet sent, at most.
    static constexpr int MAX_WAITING = 1000;

    std::string topicOf(const std::string& port, const std::string& event) const;
    bool connected() const { return connected_; }

  private:
    static void onConnect(mosquitto* client, void* self, int code);
    static void onDisconnect(mosquitto* client, void* self, int code);
    static void onPublish(mosquitto* client, void* self, int mid);
    void send(const std::string& topic, const std::string& payload, bool retain);

    MqttAddress address_;
    std::string base_;  // PREFIX/<bench>
    mosquitto* client_ = nullptr;
    bool started_ = false;
    std::atomic<bool> connected_{false};
    std::atomic<int> waiting_{0};
    std::mutex mutex_;
    std::map<std::string, std::string> states_;  // the last state of each port: topic, payload
};

}  // namespace zor
