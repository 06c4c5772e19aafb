#include "convert/part_queue.hpp"

#include <algorithm>
#include <system_error>

#include "io/interrupts.hpp"
#include "io/processors.hpp"

namespace cardtab {

PartQueue::PartQueue(std::size_t parts)
{
    for (std::size_t n = 0; n < parts; ++n) {
        parts_.push_back(std::make_unique<ScanPart>());
    }
}

void PartQueue::hand_out()
{
    {
        const std::lock_guard<std::mutex> held(lock_);
        next_free().scanned = false;
        ++handed_out_;
    }
    handed_.notify_one();
}

ScanPart& PartQueue::wait_for_oldest(const std::function<void(ScanPart&)>& write_rows)
{
    ScanPart& oldest = *parts_[taken_back_ % parts_.size()];
    std::unique_lock<std::mutex> held(lock_);
    for (;;) {
        done_.wait(held, [&oldest] { return oldest.scanned || oldest.rows_waiting; });
        if (oldest.scanned) {
            return oldest;
        }
        held.unlock();
        write_rows(oldest);
        held.lock();
        oldest.rows_waiting = false;
        rows_taken_.notify_all();
    }
}

void PartQueue::take_back_oldest()
{
    ++taken_back_;
}

ScanPart* PartQueue::next_to_scan()
{
    std::unique_lock<std::mutex> held(lock_);
    handed_.wait(held, [this] { return closed_ || next_scanned_ < handed_out_; });
    if (next_scanned_ == handed_out_) {
        return nullptr;
    }
    return parts_[next_scanned_++ % parts_.size()].get();
}

void PartQueue::hand_over_rows(ScanPart& part)
{
    std::unique_lock<std::mutex> held(lock_);
    part.rows_waiting = true;
    done_.notify_all();
    rows_taken_.wait(held, [&part] { return !part.rows_waiting; });
}

void PartQueue::part_scanned(ScanPart& part)
{
    {
        const std::lock_guard<std::mutex> held(lock_);
        part.scanned = true;
    }
    done_.notify_all();
}

void PartQueue::close()
{
    {
        const std::lock_guard<std::mutex> held(lock_);
        closed_ = true;
    }
    handed_.notify_all();
}

ScanWorkers::ScanWorkers(PartQueue& queue, std::size_t threads, const std::function<void(PartQueue&)>& work)
    : queue_(queue)
{
    // A new thread starts with its maker's signal mask.
    const InterruptsHeld held;
    for (std::size_t n = 0; n < threads; ++n) {
        try {
            threads_.emplace_back(work, std::ref(queue));
        } catch (const std::system_error&) {
            break; // the system makes no more threads: the ones made do
        }
    }
}

ScanWorkers::~ScanWorkers()
{
    queue_.close();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

std::size_t scan_threads_of_machine()
{
    constexpr std::size_t kMostThreads = 4;
    return std::min(processors_for_this_process(), kMostThreads);
}

} // namespace cardtab
