// The memory all connections' kept results may take together, so that many
// connections each within their own bound cannot exhaust the server.
#pragma once

#include <atomic>
#include <cstddef>

namespace dorvd {

class ResultBudget {
  public:
    explicit ResultBudget(size_t limit) : limit_(limit) {}

    // Takes bytes from the budget; false (and nothing taken) when they do not fit.
    bool take(size_t bytes) {
        size_t used = used_.load();
        do {
            if (bytes > limit_ || used > limit_ - bytes) return false;
        } while (!used_.compare_exchange_weak(used, used + bytes));
        return true;
    }
    void give_back(size_t bytes) { used_.fetch_sub(bytes); }
    size_t limit() const { return limit_; }
    size_t used() const { return used_.load(); }

  private:
    const size_t limit_;
    std::atomic<size_t> used_{0};
};

// Bytes taken from a budget, given back when the holder goes.
class BudgetShare {
  public:
    BudgetShare() = default;
    ~BudgetShare() { release(); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

    // Grows the share to at least bytes, in steps of kStep (the budget is
    // taken in steps, not per row or cell); false when the budget has no room.
    bool cover(ResultBudget* budget, size_t bytes) {
        if (budget == nullptr || bytes <= held_) return true;
        const size_t more = ((bytes - held_ + kStep - 1) / kStep) * kStep;
        if (!budget->take(more)) return false;
        budget_ = budget;
        held_ += more;
        return true;
    }
    void release() {
        if (budget_ != nullptr && held_ > 0) budget_->give_back(held_);
        held_ = 0;
    }
    size_t held() const { return held_; }

  private:
    static constexpr size_t kStep = 256 * 1024;

    ResultBudget* budget_ = nullptr;
    size_t held_ = 0;
};

} // namespace dorvd
