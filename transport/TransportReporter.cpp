#include "TransportReporter.h"

#include <cstring>
#include <ctime>

#include "text/AnsiText.h"

namespace {

LONG now() { return static_cast<LONG>(std::time(nullptr)); }
LONG thread() { return static_cast<LONG>(GetCurrentThreadId()); }

// Progress action codes: the transfer runs.
constexpr SHORT kActionReceiving = 1;

}  // namespace

TransportReporter::TransportReporter(IvelBackChannel* backChannel) : m_pBackChannel(backChannel) {
    LONG level = 0;
    if (m_pBackChannel && SUCCEEDED(m_pBackChannel->get_lTraceLevel(&level))) m_lTraceLevel = level;
}

void TransportReporter::trace(LONG level, const std::string& text) const {
    if (!m_pBackChannel || (level & m_lTraceLevel) == 0) return;
    m_pBackChannel->Trace(thread(), now(), 0, level, toBstr(text + "\r\n").get());
}

void TransportReporter::progress(const std::string& address, SHORT percent) const {
    if (!m_pBackChannel) return;
    m_pBackChannel->Progress(thread(), now(), 0, 0, toBstr(address).get(), nullptr, nullptr,
                             percent, kActionReceiving);
}

void TransportReporter::announce(const std::string& address, std::int64_t size) const {
    if (!m_pBackChannel) return;
    m_pBackChannel->Progress(thread(), now(), 0, 0, toBstr(address).get(),
                             toBstr(std::to_string(size)).get(), nullptr, 0, kActionReceiving);
}

void TransportReporter::info(LONG status, const std::string& statusLine) const {
    if (!m_pBackChannel) return;
    m_pBackChannel->Info(thread(), now(), 0, status, toBstr(statusLine).get(), nullptr, nullptr);
}

void TransportReporter::data(std::string_view bytes) const {
    if (!m_pBackChannel) return;
    velcom::Variant chunk;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) _com_issue_error(E_OUTOFMEMORY);
    chunk.get()->vt = VT_ARRAY | VT_UI1;
    chunk.get()->parray = array;
    {
        const velcom::SafeArrayData<BYTE> access(array);
        if (access.data() == nullptr) _com_issue_error(access.result());
        std::memcpy(access.data(), bytes.data(), bytes.size());
    }
    // A host that could not keep a chunk holds a page with a gap: the rest of the transfer would
    // only make it look whole.
    const HRESULT kept = m_pBackChannel->Data(thread(), now(), 0, chunk.get());
    if (FAILED(kept)) _com_issue_error(kept);
}
