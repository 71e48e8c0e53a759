#include "tracer/COMTracer.h"

#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "Utility/ExceptionBase.h"
#include "Utility/TraceLog.h"
#include "inproc/ModuleLock.h"
#include "text/AnsiText.h"

std::atomic<LONG> g_lTraceLevel{7};
SyncObjPtr g_TracerLock{std::make_unique<Mutex>()};

namespace {

// There is at most one tracer at a time, and it always lives in this storage, with its reference
// count beside it. So the lock-free path of instance() never touches freed memory: it takes a
// reference only while the count is above zero, and a tracer whose count reached zero is either
// revived under the lock or destroyed under it.
alignas(COMTracer) unsigned char g_tracerStorage[sizeof(COMTracer)];
std::atomic<COMTracer*> g_tracer{nullptr};
std::atomic<ULONG> g_tracerReferences{0};

bool addReferenceIfAlive() {
    ULONG count = g_tracerReferences.load(std::memory_order_acquire);
    while (count != 0)
        if (g_tracerReferences.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel))
            return true;
    return false;
}

LONG currentThread() { return static_cast<LONG>(GetCurrentThreadId()); }

// Seconds since 1970 UTC in the 32 bits the callbacks carry.
LONG currentTime() { return static_cast<LONG>(std::time(nullptr)); }

constexpr const char* kChannelPrefix = "UNK ?[?): ";

// The three texts of a report, converted for the host; a null text stays a null BSTR.
struct ReportTexts {
    ReportTexts(const char* text1, const char* text2, const char* text3)
        : first(toBstr(text1)), second(toBstr(text2)), third(toBstr(text3)) {}
    velcom::Bstr first;
    velcom::Bstr second;
    velcom::Bstr third;
};

}  // namespace

ITracer* ITracer::instance() {
    COMTracer* tracer = g_tracer.load(std::memory_order_acquire);
    if (tracer != nullptr && addReferenceIfAlive()) return tracer;
    try {
        const ScopedLock lock(g_TracerLock);
        tracer = g_tracer.load(std::memory_order_acquire);
        if (tracer != nullptr) {
            // Possibly on its way out: the reference revives it, and the pending destruction,
            // waiting for this lock, will see the count and stand down.
            g_tracerReferences.fetch_add(1, std::memory_order_acq_rel);
            return tracer;
        }
        tracer = ::new (static_cast<void*>(g_tracerStorage)) COMTracer();
        IvelBackChannel* identity = nullptr;
        if (FAILED(
                tracer->QueryInterface(IID_IvelBackChannel, reinterpret_cast<void**>(&identity)))) {
            tracer->~COMTracer();
            return nullptr;
        }
        g_tracer.store(tracer, std::memory_order_release);
        return tracer;
    } catch (const ExceptionBase&) {
        return nullptr;
    }
}

COMTracer::COMTracer() : DispatchImpl(kIvelBackChannelMembers) { lockModule(); }

COMTracer::~COMTracer() {
    m_backChannel.reset();
    unlockModule();
    g_tracer.store(nullptr, std::memory_order_release);
    g_pTraceChannel = nullptr;
}

void COMTracer::setBackChannel(IvelBackChannel* backChannel) {
    velcom::ComPtr<IvelBackChannel> previous(backChannel);
    {
        const std::lock_guard lock(m_backChannelLock);
        std::swap(previous, m_backChannel);
    }
    if (backChannel == nullptr) return;
    LONG level = 0;
    if (SUCCEEDED(backChannel->get_lTraceLevel(&level))) g_lTraceLevel = level;
}

velcom::ComPtr<IvelBackChannel> COMTracer::backChannel() const {
    const std::lock_guard lock(m_backChannelLock);
    return m_backChannel;
}

// Lock-free but for the last reference, which Release gives back under the lock: every trace line
// takes and gives back a reference.
void COMTracer::release() { Release(); }

void COMTracer::error(LONG code, const char* text1, const char* text2, const char* text3) {
    const auto channel = backChannel();
    if (!channel) return;
    const LONG now = currentTime();
    const ReportTexts texts(text1, text2, text3);
    channel->Error(currentThread(), now, 0, code, texts.first.get(), texts.second.get(),
                   texts.third.get());
}

bool COMTracer::progress(LONG code, const char* text1, const char* text2, const char* text3,
                         SHORT percent, SHORT action) {
    const auto channel = backChannel();
    if (!channel) return true;
    const LONG now = currentTime();
    const ReportTexts texts(text1, text2, text3);
    return channel->Progress(currentThread(), now, 0, code, texts.first.get(), texts.second.get(),
                             texts.third.get(), percent, action) == S_OK;
}

void COMTracer::info(LONG code, const char* text1, const char* text2, const char* text3) {
    const auto channel = backChannel();
    if (!channel) return;
    const LONG now = currentTime();
    const ReportTexts texts(text1, text2, text3);
    channel->Info(currentThread(), now, 0, code, texts.first.get(), texts.second.get(),
                  texts.third.get());
}

void COMTracer::trace(LONG level, const char* text) {
    if (const auto channel = backChannel())
        channel->Trace(currentThread(), currentTime(), 0, level, toBstr(text).get());
}

void COMTracer::traceLine(LONG level, BSTR line) {
    if (const auto channel = backChannel())
        channel->Trace(currentThread(), currentTime(), 0, level, line);
}

void COMTracer::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

void COMTracer::vprintf(const char* format, va_list args) {
    if (format == nullptr) return;
    const std::string text = kChannelPrefix + formatBounded(format, args);
    trace(7, text.c_str());
}

STDMETHODIMP COMTracer::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IvelBackChannel)) {
        *object = static_cast<IvelBackChannel*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COMTracer::AddRef() {
    return g_tracerReferences.fetch_add(1, std::memory_order_acq_rel) + 1;
}

STDMETHODIMP_(ULONG) COMTracer::Release() {
    const ULONG remaining = g_tracerReferences.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining != 0) return remaining;
    try {
        const ScopedLock lock(g_TracerLock);
        if (g_tracerReferences.load(std::memory_order_acquire) == 0 && g_tracer.load() == this)
            this->~COMTracer();
    } catch (const ExceptionBase&) {
        // Without the lock the tracer cannot be destroyed safely; it stays for the next user.
    }
    return 0;
}

STDMETHODIMP COMTracer::get_lTraceLevel(LONG* level) {
    const auto channel = backChannel();
    return channel ? channel->get_lTraceLevel(level) : S_OK;
}

STDMETHODIMP COMTracer::put_lTraceLevel(LONG level) {
    const auto channel = backChannel();
    return channel ? channel->put_lTraceLevel(level) : S_OK;
}

STDMETHODIMP COMTracer::Error(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1,
                              BSTR text2, BSTR text3) {
    const auto channel = backChannel();
    return channel ? channel->Error(threadId, time, depth + 1, code, text1, text2, text3) : S_OK;
}

STDMETHODIMP COMTracer::Progress(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1,
                                 BSTR text2, BSTR text3, SHORT percent, SHORT action) {
    const auto channel = backChannel();
    return channel ? channel->Progress(threadId, time, depth + 1, code, text1, text2, text3,
                                       percent, action)
                   : S_OK;
}

STDMETHODIMP COMTracer::Info(LONG threadId, LONG time, LONG depth, LONG code, BSTR text1,
                             BSTR text2, BSTR text3) {
    const auto channel = backChannel();
    return channel ? channel->Info(threadId, time, depth + 1, code, text1, text2, text3) : S_OK;
}

STDMETHODIMP COMTracer::Trace(LONG threadId, LONG time, LONG depth, LONG level, BSTR text) {
    if ((level & g_lTraceLevel.load()) == 0) return S_OK;
    const auto channel = backChannel();
    return channel ? channel->Trace(threadId, time, depth + 1, level, text) : S_OK;
}

STDMETHODIMP COMTracer::Data(LONG threadId, LONG time, LONG depth, VARIANT* data) {
    const auto channel = backChannel();
    return channel ? channel->Data(threadId, time, depth + 1, data) : S_OK;
}
