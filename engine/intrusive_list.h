// Intrusive doubly linked FIFO for heap records shared between threads (packets, frames, cursor
// records). The list does not own its nodes; owners decide. Not thread-safe by itself: each list is
// guarded by the SpinLock of its owner, and consumers take a whole list at once with TakeAll().
#pragma once

#include <cstddef>
#include <utility>

namespace vexa::engine {

// Base of a node that lives in one list at a time.
struct ListLink {
    ListLink* next = nullptr;
    ListLink* prev = nullptr;
};

template <typename T>  // T derives from ListLink
class IntrusiveList {
  public:
    IntrusiveList() = default;
    IntrusiveList(const IntrusiveList&) = delete;
    IntrusiveList& operator=(const IntrusiveList&) = delete;
    IntrusiveList(IntrusiveList&& other) noexcept { Swap(other); }
    IntrusiveList& operator=(IntrusiveList&&) = delete;

    [[nodiscard]] bool Empty() const { return head_ == nullptr; }
    [[nodiscard]] size_t Size() const { return size_; }
    [[nodiscard]] T* Front() const { return static_cast<T*>(head_); }
    [[nodiscard]] T* Back() const { return static_cast<T*>(tail_); }

    void PushBack(T* node) {
        ListLink* n = node;
        n->next = nullptr;
        n->prev = tail_;
        if (tail_) {
            tail_->next = n;
        } else {
            head_ = n;
        }
        tail_ = n;
        ++size_;
    }

    [[nodiscard]] T* PopFront() {
        ListLink* n = head_;
        if (!n) return nullptr;
        Unlink(static_cast<T*>(n));
        return static_cast<T*>(n);
    }

    [[nodiscard]] T* PopBack() {
        ListLink* n = tail_;
        if (!n) return nullptr;
        Unlink(static_cast<T*>(n));
        return static_cast<T*>(n);
    }

    void Unlink(T* node) {
        ListLink* n = node;
        (n->prev ? n->prev->next : head_) = n->next;
        (n->next ? n->next->prev : tail_) = n->prev;
        n->next = n->prev = nullptr;
        --size_;
    }

    // Moves every node into the returned list in O(1), leaving this one empty.
    [[nodiscard]] IntrusiveList TakeAll() {
        IntrusiveList out;
        out.Swap(*this);
        return out;
    }

    // Appends every node of other, leaving it empty.
    void Splice(IntrusiveList& other) {
        if (other.Empty()) return;
        if (tail_) {
            tail_->next = other.head_;
            other.head_->prev = tail_;
        } else {
            head_ = other.head_;
        }
        tail_ = other.tail_;
        size_ += other.size_;
        other.head_ = other.tail_ = nullptr;
        other.size_ = 0;
    }

    template <typename F>
    void ForEach(F&& f) const {
        for (ListLink* n = head_; n; n = n->next) f(static_cast<T*>(n));
    }

  private:
    void Swap(IntrusiveList& o) {
        std::swap(head_, o.head_);
        std::swap(tail_, o.tail_);
        std::swap(size_, o.size_);
    }
    ListLink* head_ = nullptr;
    ListLink* tail_ = nullptr;
    size_t size_ = 0;
};

}  // namespace vexa::engine
