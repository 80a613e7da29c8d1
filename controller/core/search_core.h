// The controller search: addresses 1 to 31, one a timer tick.
#pragma once

#include <functional>
#include <string>

namespace settings {

constexpr int kSearchFirst = 1;
constexpr int kSearchEnd = 32; // first address not polled

// The line added for an address ("Трк №5 найдено." / "Трк №5 не найдено.").
std::string SearchLine(int address, bool found);

// The identify request at one address of the port: the Identify result.
int IdentifyAddress(int port, int address);

class SearchRun {
public:
    // identify(address) returns the Identify result for that address.
    explicit SearchRun(std::function<int(int)> identify) : identify_(std::move(identify)) {}
    void start() { next_ = kSearchFirst; }
    bool done() const { return next_ >= kSearchEnd; }
    int next() const { return next_; }
    // One poll: the line to add, or an empty text when the search is over.
    std::string tick();

private:
    std::function<int(int)> identify_;
    int next_ = kSearchEnd;
};

} // namespace settings
