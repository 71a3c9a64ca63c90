// The five functions' argument checks and statuses, driven through the core
// (zolt::Library) against the unit tests' fake system, so no process or
// thread is ever started. Each input is a script: any channel value, any
// path and command bytes of any length, slaves that echo, answer with
// garbage, keep silent, set a foreign state byte or end, failing system
// calls, and poller passes whose callback may call back into the channel.
// After every call the statuses and the channel table are checked against
// what hosts are promised.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_os.h"
#include "fuzz_check.h"
#include "library.h"
#include "object_names.h"

namespace {

constexpr int kMaxCalls = 48;
constexpr int kMaxNotes = 8;

// The slave behind one mailbox name, played from the fake's sleep hook.
struct Slave {
    enum class Mode : std::uint8_t { Echo, Garbage, Silent, ForeignState, Count };
    Mode mode = Mode::Echo;
    int misbehaviours = 0;  // garbage replies left before echoing again
    int silentSleeps = 0;   // how long a silent slave lets a command wait
    std::string garbage;    // up to the whole text area, NUL or not
    unsigned char foreignState = 2;
    bool stuck = false;     // has set a foreign state and stopped serving
    std::deque<std::string> notes;
    std::string lastReply;  // as the host must read it back
};

struct Script {
    FuzzedDataProvider& input;
    FakeOs os;
    zolt::Library library{os, '/'};
    std::map<std::string, Slave> slaves;  // by mailbox name
    int pollerChannel = -1;               // whose callback may run now
    int nestedCalls = 0;

    explicit Script(FuzzedDataProvider& provider) : input(provider) {
        os.onSleep = [this] { serveSlaves(); };
    }

    static std::string textOf(const FakeOs::Mailbox& box) {
        const auto* text = reinterpret_cast<const char*>(box.data() + 1);
        return std::string(text, ::strnlen(text, zolt::kMaxTextLength));
    }

    void serveSlaves() {
        for (auto& [name, slave] : slaves) {
            FakeOs::Mailbox& box = os.mailbox(name);
            if (slave.stuck || box[0] == zolt::kIdle) continue;
            const std::string command = textOf(box);
            switch (slave.misbehaviours > 0 ? slave.mode : Slave::Mode::Echo) {
            case Slave::Mode::Silent:
                // Answers in time, late or very late, then echoes again.
                if (slave.silentSleeps-- > 0) continue;
                slave.misbehaviours = 0;
                std::memcpy(box.data() + 1, command.c_str(), command.size() + 1);
                break;
            case Slave::Mode::ForeignState:
                box[0] = slave.foreignState;
                slave.stuck = true;
                continue;
            case Slave::Mode::Garbage:
                --slave.misbehaviours;
                std::memcpy(box.data() + 1, slave.garbage.data(), slave.garbage.size());
                break;
            case Slave::Mode::Echo:
            case Slave::Mode::Count: {
                std::string reply = command;
                if (command == "Ask") {
                    reply = slave.notes.empty() ? "(nothing)" : slave.notes.front();
                    if (!slave.notes.empty()) slave.notes.pop_front();
                }
                std::memcpy(box.data() + 1, reply.c_str(), reply.size() + 1);
                break;
            }
            }
            slave.lastReply = textOf(box);
            box[0] = zolt::kIdle;
        }
    }

    // A channel value from the whole int8 range, valid ones more often.
    std::int8_t channel() {
        return input.ConsumeBool() ? static_cast<std::int8_t>(input.ConsumeIntegralInRange(0, 7))
                                   : input.ConsumeIntegral<std::int8_t>();
    }

    // Null, or bytes of any length ending in a NUL at the end of their own
    // heap block: a read past the terminator is caught.
    std::unique_ptr<char[]> text(std::size_t maxLength) {
        if (input.ConsumeIntegralInRange(0, 15) == 0) return nullptr;
        std::string bytes;
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0:  // a plain slave path
            bytes = "dir/S" + std::to_string(input.ConsumeIntegralInRange(0, 9)) + (input.ConsumeBool() ? ".exe" : "");
            break;
        case 1:  // around the command limit
            bytes.assign(input.ConsumeIntegralInRange<std::size_t>(1018, 1030), 'c');
            break;
        default:
            bytes = input.ConsumeRandomLengthString(maxLength);
        }
        auto block = std::make_unique<char[]>(bytes.size() + 1);
        std::memcpy(block.get(), bytes.data(), bytes.size());
        block[bytes.size()] = '\0';
        return block;
    }

    static bool valid(std::int8_t channel) { return channel >= 0 && channel < zolt::kChannelCount; }

    Slave* slaveOf(std::int8_t channel) {
        if (!valid(channel) || !library.record(channel).open) return nullptr;
        for (auto& [name, slave] : slaves) {
            if (os.mailbox(name).data() == library.record(channel).mailbox) return &slave;
        }
        return nullptr;
    }

    bool slaveEnded(std::int8_t channel) {
        const zolt::ProcessHandle process = library.record(channel).process;
        return process != 0 && os.process(process).exitCode != zolt::kStillRunning;
    }

    void checkTable() {
        FUZZ_CHECK(os.strayUnmaps == 0);
        FUZZ_CHECK(os.handlesReleasedTwice() == 0);
        FUZZ_CHECK(os.liveViews.size() <= static_cast<std::size_t>(zolt::kChannelCount));
        // One claim per open channel, and one per slave that a failed close
        // left running; none for a closed channel.
        std::size_t openChannels = 0;
        for (std::int8_t c = 0; c < zolt::kChannelCount; ++c) openChannels += library.record(c).open ? 1 : 0;
        FUZZ_CHECK(os.heldClaims.size() == openChannels + static_cast<std::size_t>(library.retiredClaimCount()));
        for (std::int8_t c = 0; c < zolt::kChannelCount; ++c) {
            const zolt::ChannelRecord& record = library.record(c);
            FUZZ_CHECK(::strnlen(record.reply, zolt::kTextCapacity) < zolt::kTextCapacity);
            FUZZ_CHECK(library.read(c) == record.reply);
            FUZZ_CHECK(library.suspensionCount(c) >= 0);
            if (record.open) {
                FUZZ_CHECK(record.mailbox != nullptr);
                FUZZ_CHECK(record.process != 0);
            }
        }
    }

    void open() {
        const std::int8_t c = channel();
        const auto path = text(120);
        zolt::ObjectNames names{};
        const bool usable = zolt::deriveObjectNames(path.get(), '/', names);
        const std::size_t createsBefore = os.sharedMemoryCreates.size();
        const bool wasOpen = valid(c) && library.record(c).open;
        // Another open channel has the stem.
        const bool inUse = usable && os.holds(names.claim);
        if (usable && !wasOpen) slaves.try_emplace(names.mailbox);

        const std::int8_t status = library.open(c, path.get());
        if (!valid(c) || library.record(c).poller.thread() == 0) {
            FUZZ_CHECK(status == ZOLT_OPEN_NO_POLLER || (wasOpen && status == ZOLT_OPEN_ALREADY_OPEN));
        } else if (wasOpen) {
            FUZZ_CHECK(status == ZOLT_OPEN_ALREADY_OPEN);
        } else if (!usable) {
            FUZZ_CHECK(status == ZOLT_OPEN_START_FAILED);
        } else if (inUse) {
            FUZZ_CHECK(status == ZOLT_OPEN_STEM_IN_USE);
        } else if (os.failCreateSharedMemory) {
            FUZZ_CHECK(status == ZOLT_OPEN_SHARED_MEMORY_FAILED);
        } else if (os.failMapSharedMemory) {
            FUZZ_CHECK(status == ZOLT_OPEN_MAPPING_FAILED);
        } else if (os.failCreateEvent) {
            FUZZ_CHECK(status == ZOLT_OPEN_EVENT_FAILED);
        } else if (os.failStartProcess) {
            FUZZ_CHECK(status == ZOLT_OPEN_START_FAILED);
        } else {
            FUZZ_CHECK(status == ZOLT_OK);
            FUZZ_CHECK(os.mailbox(names.mailbox)[0] == zolt::kIdle);
            // A new slave and a clean mailbox: whatever the last one did.
            slaves[names.mailbox] = Slave{};
            FUZZ_CHECK(library.record(c).open);
        }
        if (!usable || wasOpen || inUse || !valid(c)) FUZZ_CHECK(os.sharedMemoryCreates.size() == createsBefore);
        if (status != ZOLT_OK && valid(c)) FUZZ_CHECK(library.record(c).open == wasOpen);
    }

    void write() {
        const std::int8_t c = channel();
        const auto command = text(1100);
        Slave* slave = slaveOf(c);
        FakeOs::Mailbox boxBefore{};
        if (slave != nullptr) std::memcpy(boxBefore.data(), library.record(c).mailbox, boxBefore.size());
        const bool ended = slave != nullptr && slaveEnded(c);
        const bool fits = command != nullptr && std::strlen(command.get()) <= zolt::kMaxTextLength;
        const std::string replyBefore = valid(c) ? library.read(c) : "";

        const std::int8_t status = library.write(c, command.get());
        if (slave == nullptr) {
            FUZZ_CHECK(status == ZOLT_WRITE_NOT_OPEN);
        } else if (!fits) {
            FUZZ_CHECK(status == ZOLT_WRITE_COMMAND_REFUSED);
            FUZZ_CHECK(std::memcmp(boxBefore.data(), library.record(c).mailbox, boxBefore.size()) == 0);
        } else if (ended) {
            FUZZ_CHECK(status == ZOLT_WRITE_SLAVE_ENDED);
        } else {
            FUZZ_CHECK(status == ZOLT_OK || status == ZOLT_WRITE_MAILBOX_BUSY || status == ZOLT_WRITE_REPLY_TIMEOUT);
        }
        if (status == ZOLT_OK) {
            FUZZ_CHECK(library.read(c) == slaveOf(c)->lastReply);
        } else if (valid(c)) {
            // A failed exchange never hands out a new reply.
            FUZZ_CHECK(library.read(c) == replyBefore);
        }
    }

    void read() {
        const std::int8_t c = channel();
        const char* reply = library.read(c);
        FUZZ_CHECK(reply != nullptr);
        FUZZ_CHECK(::strnlen(reply, zolt::kTextCapacity) < zolt::kTextCapacity);
        if (!valid(c)) FUZZ_CHECK(*reply == '\0');
    }

    static void onNotification();

    void event() {
        const std::int8_t c = channel();
        const NotifyCallback callback = input.ConsumeBool() ? &Script::onNotification : nullptr;
        const bool wasOpen = valid(c) && library.record(c).open;
        const int countBefore = valid(c) ? library.suspensionCount(c) : 0;
        const std::int8_t status = library.event(c, callback);
        if (!wasOpen) {
            FUZZ_CHECK(status == ZOLT_EVENT_NOT_OPEN);
            if (valid(c)) FUZZ_CHECK(library.suspensionCount(c) == countBefore);
        } else {
            FUZZ_CHECK(status == ZOLT_OK);
            FUZZ_CHECK(library.record(c).callback.load() == callback);
            FUZZ_CHECK(library.suspensionCount(c) == (countBefore > 0 ? countBefore - 1 : 0));
        }
    }

    void close() {
        const std::int8_t c = channel();
        Slave* slave = slaveOf(c);
        const bool ended = slave != nullptr && slaveEnded(c);
        const int countBefore = valid(c) ? library.suspensionCount(c) : 0;
        const std::int8_t status = library.close(c);
        if (!valid(c)) {
            FUZZ_CHECK(status == ZOLT_WRITE_NOT_OPEN);
            return;
        }
        if (slave == nullptr) FUZZ_CHECK(status == ZOLT_WRITE_NOT_OPEN);
        else if (ended) FUZZ_CHECK(status == ZOLT_WRITE_SLAVE_ENDED);
        else FUZZ_CHECK(status == ZOLT_OK || status == ZOLT_WRITE_MAILBOX_BUSY || status == ZOLT_WRITE_REPLY_TIMEOUT);
        const zolt::ChannelRecord& record = library.record(c);
        FUZZ_CHECK(!record.open && record.mailbox == nullptr && record.callback.load() == nullptr);
        if (record.poller.thread() != 0) {
            // Only a close of an open channel counts a suspension.
            const int expected = slave == nullptr ? countBefore : (countBefore == INT_MAX ? INT_MAX : countBefore + 1);
            FUZZ_CHECK(library.suspensionCount(c) == expected);
        }
    }

    // One pass of a channel's poller, only when it would not block: running,
    // and with an event to wait on (the fake's waits return at once).
    void pollerPass() {
        const int c = input.ConsumeIntegralInRange(0, 7);
        if (library.suspensionCount(static_cast<std::int8_t>(c)) != 0 || library.record(static_cast<std::int8_t>(c)).poller.event() == 0) return;
        pollerChannel = c;
        library.runPollerPass(c);
        pollerChannel = -1;
    }

    void slaveMisbehaves() {
        Slave* slave = slaveOf(channel());
        if (slave == nullptr) return;
        slave->mode = static_cast<Slave::Mode>(
            input.ConsumeIntegralInRange<int>(0, static_cast<int>(Slave::Mode::Count) - 1));
        slave->misbehaviours = input.ConsumeIntegralInRange(1, 4);
        slave->garbage = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, zolt::kTextCapacity));
        slave->foreignState = input.ConsumeIntegralInRange<unsigned char>(1, 255);
        slave->silentSleeps = input.ConsumeIntegralInRange(1, 10000);
    }

    void slaveQueuesNotes() {
        Slave* slave = slaveOf(channel());
        if (slave == nullptr) return;
        for (int n = input.ConsumeIntegralInRange(1, kMaxNotes); n > 0 && slave->notes.size() < kMaxNotes; --n) {
            slave->notes.push_back(input.ConsumeRandomLengthString(zolt::kMaxTextLength));
        }
    }

    void slaveEnds() {
        const std::int8_t c = channel();
        if (!valid(c) || library.record(c).process == 0) return;
        os.process(library.record(c).process).exitCode = input.ConsumeIntegral<std::uint32_t>();
    }

    void systemFails() {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: os.failCreateSharedMemory = !os.failCreateSharedMemory; break;
        case 1: os.failMapSharedMemory = !os.failMapSharedMemory; break;
        case 2: os.failCreateEvent = !os.failCreateEvent; break;
        default: os.failStartProcess = !os.failStartProcess; break;
        }
    }

    void step() {
        switch (input.ConsumeIntegralInRange(0, 10)) {
        case 0: open(); break;
        case 1: write(); break;
        case 2: read(); break;
        case 3: event(); break;
        case 4: close(); break;
        case 5: pollerPass(); break;
        case 6: slaveMisbehaves(); break;
        case 7: slaveQueuesNotes(); break;
        case 8: slaveEnds(); break;
        case 9: systemFails(); break;
        default: open(); write(); break;
        }
        checkTable();
    }
};

Script* current = nullptr;

// Runs on the "poller" while it holds the channel: sees the notification,
// and may call back into its own channel, as a host's callback may.
void Script::onNotification() {
    Script& script = *current;
    FUZZ_CHECK(script.pollerChannel >= 0);
    const auto c = static_cast<std::int8_t>(script.pollerChannel);
    const char* note = script.library.read(c);
    FUZZ_CHECK(std::strcmp(note, "(nothing)") != 0);
    FUZZ_CHECK(::strnlen(note, zolt::kTextCapacity) < zolt::kTextCapacity);
    if (script.nestedCalls > 0 || script.input.remaining_bytes() == 0) return;
    ++script.nestedCalls;
    switch (script.input.ConsumeIntegralInRange(0, 4)) {
    case 0: script.library.write(c, "echo>inside"); break;
    case 1: script.library.close(c); break;
    case 2: script.library.event(c, nullptr); break;
    case 3: --script.nestedCalls; throw 42;  // the library must swallow it
    default: break;
    }
    --script.nestedCalls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    auto script = std::make_unique<Script>(input);
    current = script.get();
    // With the top bit set, the low bits pick pollers whose creation fails:
    // their channels can never be opened.
    const auto failingThreads = input.ConsumeIntegral<std::uint8_t>();
    for (int i = 0; i < 7 && (failingThreads & 0x80u) != 0; ++i) {
        if ((failingThreads & (1u << i)) != 0) script->os.failThreadCalls.insert(i);
    }
    script->library.startUp();
    for (int calls = 0; calls < kMaxCalls && input.remaining_bytes() > 0; ++calls) script->step();
    current = nullptr;
    return 0;
}
