#pragma once
// An event any number of parts can listen to: each subscribes a handler and
// keeps the Subscription it gets; dropping the Subscription (or calling
// cancel()) takes the handler off again. Handlers run in the order they
// subscribed. A handler may subscribe or cancel handlers, itself included,
// while the event runs: a handler added then first runs at the next event,
// one cancelled then is not called again.
//
// One thread: an event is raised and subscribed to on the thread that owns
// it. A Subscription may outlive its event (cancelling it then does nothing).

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

namespace tarvik {

// Keeps a handler subscribed to an event while it lives.
class [[nodiscard]] Subscription {
public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    // Takes the handler off the event (nothing when already off).
    void cancel() {
        if (auto c = std::exchange(cancel_, {})) c();
    }
    bool active() const { return static_cast<bool>(cancel_); }

private:
    template <typename...>
    friend class Event;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    std::function<void()> cancel_;
};

template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    Event() = default;
    // An event is a place others hold subscriptions to: it does not move.
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    // An event that ends while it runs (a handler ended its owner) keeps its
    // handlers until the run is over.
    ~Event() {
        if (state_->raising > 0) state_->keptWhileRaising = state_;
    }

    Subscription subscribe(Handler handler) {
        assert(handler && "a subscription needs a handler");
        const std::uint64_t id = state_->nextId++;
        state_->handlers.push_back({id, std::move(handler), true});
        std::weak_ptr<State> state = state_;
        return Subscription([state, id] {
            if (const auto s = state.lock()) s->remove(id);
        });
    }

    // Calls every handler with the arguments.
    void operator()(Args... args) const {
        // A handler may end the event's owner, and the event with it: the
        // state then stays until this run is over (see ~Event). No copy of
        // the shared pointer here: events are raised for every packet, and
        // once the program has a second thread such a copy costs two locked
        // instructions.
        State& s = *state_;
        // Ends the run, also when a handler throws.
        const struct Run {
            State& s;
            explicit Run(State& state) : s(state) { ++s.raising; }
            ~Run() {
                if (--s.raising > 0) return;
                if (s.cancelled) s.compact();
                if (s.keptWhileRaising) {
                    const std::shared_ptr<State> last = std::move(s.keptWhileRaising);
                }
            }
        } run(s);
        // By index, and only those present when the event started: handlers
        // may subscribe or cancel while it runs.
        const std::size_t count = s.handlers.size();
        for (std::size_t i = 0; i < count; ++i)
            if (s.handlers[i].live) s.handlers[i].handler(args...);
    }

    bool empty() const { return size() == 0; }
    std::size_t size() const {
        std::size_t n = 0;
        for (const auto& entry : state_->handlers) n += entry.live ? 1 : 0;
        return n;
    }

private:
    struct Entry {
        std::uint64_t id;
        Handler handler;
        // False once cancelled; the handler itself stays until the event has
        // finished running (it may be the one that cancelled itself).
        bool live;
    };
    struct State {
        // A deque: a handler that subscribes another while it runs must not
        // be moved under its own feet.
        std::deque<Entry> handlers;
        std::uint64_t nextId = 1;
        int raising = 0;
        bool cancelled = false;
        // The state of an event that ended while it ran, until the run is over.
        std::shared_ptr<State> keptWhileRaising;

        void remove(std::uint64_t id) {
            for (Entry& entry : handlers)
                if (entry.id == id) {
                    entry.live = false;
                    cancelled = true;
                }
            if (raising == 0) compact();
        }
        void compact() {
            std::erase_if(handlers, [](const Entry& e) { return !e.live; });
            cancelled = false;
        }
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace tarvik
