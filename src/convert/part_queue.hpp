#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "io/table_writer.hpp"
#include "result/findings.hpp"
#include "text/padded_text.hpp"

// A card file cut into parts at its card starts, each scanned on a thread
// of its own into rows in memory; the main thread reads the parts, and
// writes their rows and adds up their findings in the file's order.
namespace cardtab {

struct ScanPart {
    PaddedBuffer bytes;
    std::size_t size = 0;
    // What a worker made of it: its rows (or a failed buffer, where they
    // were more than it holds), what it found, and its lines.
    TableWriter rows;
    CardFindings found;
    std::size_t lines = 0;
    bool scanned = false;
    bool rows_waiting = false; // its buffer is full, for the main thread to write
};

// The parts in hand, in a ring: the main thread fills the next free one
// and hands it out, workers take them in turn, and the main thread takes
// back the oldest once it is scanned.
class PartQueue {
public:
    explicit PartQueue(std::size_t parts);
    PartQueue(const PartQueue&) = delete;
    PartQueue& operator=(const PartQueue&) = delete;

    // The main thread's side.
    bool full() const { return handed_out_ - taken_back_ == parts_.size(); }
    bool empty() const { return handed_out_ == taken_back_; }
    ScanPart& next_free() { return *parts_[handed_out_ % parts_.size()]; }
    void hand_out();
    // Waits until the oldest part handed out is scanned, writing with
    // `write_rows` the rows it hands over on the way.
    ScanPart& wait_for_oldest(const std::function<void(ScanPart&)>& write_rows);
    void take_back_oldest();

    // A worker's: the next part to scan, or none once the queue is closed.
    ScanPart* next_to_scan();
    // Rows of a part that fill its buffer wait until the main thread, whose
    // turn for the part comes once those before it are written, has
    // written them: the rows stay in order, and in bounded memory.
    void hand_over_rows(ScanPart& part);
    void part_scanned(ScanPart& part);
    void close();

private:
    std::vector<std::unique_ptr<ScanPart>> parts_;
    std::mutex lock_;
    std::condition_variable handed_;
    std::condition_variable done_;
    std::condition_variable rows_taken_;
    std::size_t handed_out_ = 0; // counted by the main thread; read under the lock
    std::size_t next_scanned_ = 0;
    std::size_t taken_back_ = 0;
    bool closed_ = false;
};

// The threads that scan the queue's parts, each running `work` until the
// queue closes; they hold back every interrupt, which the main thread
// takes. Fewer start where the system will not make more.
class ScanWorkers {
public:
    ScanWorkers(PartQueue& queue, std::size_t threads, const std::function<void(PartQueue&)>& work);
    ~ScanWorkers();
    ScanWorkers(const ScanWorkers&) = delete;
    ScanWorkers& operator=(const ScanWorkers&) = delete;

    bool started() const { return !threads_.empty(); }

private:
    PartQueue& queue_;
    std::vector<std::thread> threads_;
};

// The threads a scan may use: one for each core, up to four.
std::size_t scan_threads_of_machine();

} // namespace cardtab
