// The other program of the auto-send soak test: appends numbered pages to the auto-send
// file at random moments, each batch under the lock file created exclusively, as a
// cooperating writer does. Usage: auto_send_writer FOLDER COUNT SEED
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

namespace {

std::string pageLine(long seq, std::mt19937& rng) {
    char ric[16];
    std::snprintf(ric, sizeof ric, "%07ld", seq % 2097152);
    std::string line = std::string("11A2400N") + ric + "soak #" + std::to_string(seq);
    // Some lines carry a due time long past: sent at once, without the prefix.
    if (rng() % 5 == 0)
        line = "T0000000001" + line;
    return line;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: auto_send_writer FOLDER COUNT SEED\n");
        return 2;
    }
    const std::string folder = argv[1];
    const long count = std::atol(argv[2]);
    std::mt19937 rng(static_cast<unsigned>(std::atol(argv[3])));
    const std::string file = folder + "/Autosend.txt";
    const std::string lock = folder + "/Lock.Lck";
    long seq = 1;
    long lockWaits = 0;
    while (seq <= count) {
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 20000));
        // Now and then a burst larger than one poll takes (500 lines).
        const long batch = rng() % 50 == 0 ? 400 + static_cast<long>(rng() % 400)
                                           : 1 + static_cast<long>(rng() % 8);
        std::FILE* held = nullptr;
        while ((held = std::fopen(lock.c_str(), "wbx")) == nullptr) {
            ++lockWaits;
            std::this_thread::sleep_for(std::chrono::microseconds(200 + rng() % 800));
        }
        std::fclose(held);
        std::FILE* out = std::fopen(file.c_str(), "ab");
        if (out == nullptr) {
            std::perror(file.c_str());
            std::remove(lock.c_str());
            return 1;
        }
        for (long i = 0; i < batch && seq <= count; ++i, ++seq) {
            const std::string line = pageLine(seq, rng) + "\r\n";
            std::fwrite(line.data(), 1, line.size(), out);
            std::fflush(out); // a poll that ignored the lock would see half a batch
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 1500));
        if (std::fclose(out) != 0) {
            std::perror(file.c_str());
            return 1;
        }
        std::remove(lock.c_str());
    }
    std::printf("writer: %ld pages written, waited for the lock %ld times\n", count, lockWaits);
    return 0;
}
