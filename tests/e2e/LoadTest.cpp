// Eight apartments, each with its own proxy and PKI object, apply at once through one host back
// channel into one store, as a host serving several users would. VEL_FULL=1: 1,000 applications.
#include <malloc.h>
#include <unistd.h>

#include <barrier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <sqlite3.h>

#include <velPKI/velPKI.h>

#include "EndToEndFixture.h"
#include "Hosts.h"
#include "Text.h"

namespace {

constexpr int kThreads = 8;
// Answers per thread: the start page once, then per application the form, the receipt and the
// certificate.
constexpr long kStartAnswers = 1, kAnswersPerApplication = 3;
// Growth allowed from the first round's end to the run's, beside SQLite's page caches (bounded,
// they fill as the store grows); resident memory also keeps what the threads' arenas hold free.
constexpr long kRssGrowthBoundKiB = 12 * 1024, kHeapGrowthBoundKiB = 1024;

struct Memory {
    long residentKiB = 0, heapKiB = 0, sqliteKiB = 0;
};

Memory memoryNow() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return {resident * (sysconf(_SC_PAGESIZE) / 1024),
            static_cast<long>(mallinfo2().uordblks / 1024),
            static_cast<long>(sqlite3_memory_used() / 1024)};
}

// One thread's apartment, proxy and PKI object: a failing step ends the thread's applications,
// never its part in the rounds the others wait for.
struct Worker {
    std::string start, password, temporary, failure = {};
    std::vector<LONG> certificates = {};
    velcom::ComPtr<ISMPrivateKeyInfrastructure> pki = {};
    velcom::ComPtr<IvelTesseraProxy> proxy = {};

    // False once a step failed; the first failure is kept.
    bool step(const char* what, HRESULT result) {
        char text[64];
        std::snprintf(text, sizeof text, "%s failed: 0x%08X", what, static_cast<unsigned>(result));
        if (FAILED(result) && failure.empty()) failure = text;
        return failure.empty();
    }
    void open(IvelBackChannel* channel, const std::string& store) {
        velcom::ComPtr<IvelPKIStore> opened;
        (void)(step("CoInitializeEx", CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) &&
               step("create the PKI", createByProgId(u"velTesseraComm2.velPKI", pki)) &&
               step("open the store", pki.as(opened)) &&
               step("open the store", opened->Open(toBstr(store).get())) &&
               step("create the proxy",
                    createByProgId(u"velTesseraComm2.velTesseraProxy", proxy)) &&
               step("Init", proxy->Init(channel, nullptr, pki.get(), toBstr(temporary).get())) &&
               step("InitComm", proxy->InitComm(toBstr(start).get(), VARIANT{})));
    }
    void apply() {
        velcom::ComPtr<IvelNode> form;
        LONG certificate = 0;
        if (failure.empty() && step("RequestStep1", proxy->RequestStep1(form.put())) &&
            step("RequestStep2",
                 proxy->RequestStep2(toBstr(password).get(), toBstr("key secret").get(), 1, 1,
                                     &certificate)))
            certificates.push_back(certificate);
    }
    void close() {
        proxy.reset();
        pki.reset();
        CoUninitialize();
    }
};

TEST_F(EndToEndTest, EightApartmentsApplyAtOnceThroughOneBackChannelIntoOneStore) {
    const bool full = std::getenv("VEL_FULL") != nullptr;
    const int perThread = full ? 1000 / kThreads : 3;
    const std::string store = work.path() + "/shared.db";
    // One back channel for every proxy of the process: per thread that the component names, how
    // often each kind of callback came, and how often the thread named was not the one calling.
    std::mutex mutex;
    std::map<LONG, std::map<std::string, long>> counts;
    long misnamed = 0;
    NotingBackChannel channel(7, [&](const std::string& kind, LONG thread, const std::string&) {
        const std::lock_guard lock(mutex);
        ++counts[thread][kind];
        misnamed += thread != static_cast<LONG>(GetCurrentThreadId());
    });
    std::vector<Worker> workers(kThreads);
    for (int index = 0; index < kThreads; ++index) {
        const std::string name = "applicant" + std::to_string(index);
        const Applicant& applicant = addApplicant(name);
        workers[index] = {authority.startAddress(applicant), applicant.password, file(name, "tmp")};
        std::filesystem::create_directory(workers[index].temporary);
    }

    Memory warm, end;
    int round = 0;
    std::barrier rounds(kThreads, [&]() noexcept { (round++ == 0 ? warm : end) = memoryNow(); });
    const auto began = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> threads;
        for (Worker& worker : workers)
            threads.emplace_back([&] {
                worker.open(&channel, store);
                worker.apply();
                rounds.arrive_and_wait();
                for (int done = 1; done < perThread; ++done) worker.apply();
                rounds.arrive_and_wait();
                worker.close();
            });
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf(
        "load: %d threads x %d applications in %.1f s; after the first round / at the end: "
        "RSS %ld / %ld KiB, heap in use %ld / %ld KiB, of it SQLite's %ld / %ld KiB\n",
        kThreads, perThread, seconds, warm.residentKiB, end.residentKiB, warm.heapKiB, end.heapKiB,
        warm.sqliteKiB, end.sqliteKiB);

    std::set<LONG> certificates;
    for (const Worker& worker : workers) {
        SCOPED_TRACE(worker.start);
        EXPECT_EQ(worker.failure, "");
        certificates.insert(worker.certificates.begin(), worker.certificates.end());
    }
    EXPECT_EQ(certificates.size(), static_cast<std::size_t>(kThreads * perThread))
        << "each application has a certificate of its own in the store";

    EXPECT_EQ(counts.size(), static_cast<std::size_t>(kThreads));
    EXPECT_EQ(misnamed, 0);
    for (auto [thread, count] : counts) {
        SCOPED_TRACE(thread);
        EXPECT_EQ(count["Info"], kStartAnswers + kAnswersPerApplication * perThread);
        EXPECT_EQ(count["Error"], 0);
        // The scanner traces each line of the Base64 answers, whose length varies with the
        // certificate's serial and signature: a line or two per application either way.
        EXPECT_NEAR(count["Trace"], counts.begin()->second.at("Trace"), 2 * perThread);
        EXPECT_GT(count["Trace"], 0);
    }
    EXPECT_EQ(channel.references(), 0u) << "every proxy let the back channel go";
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer's quarantine holds freed memory back; its leak check stands in there.
    const long sqliteGrowth = end.sqliteKiB - warm.sqliteKiB;
    EXPECT_LE(end.residentKiB - warm.residentKiB - sqliteGrowth, kRssGrowthBoundKiB);
    EXPECT_LE(end.heapKiB - warm.heapKiB - sqliteGrowth, kHeapGrowthBoundKiB);
#endif
}

}  // namespace
