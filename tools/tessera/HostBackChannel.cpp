#include "HostBackChannel.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "Text.h"

namespace {

// The level of the component's exception frames: their trace carries the failure's own text.
constexpr LONG kFailureLevel = 7;

// The applicant's pages live under /a/TOKEN/, and the token is as good as a password: someone
// looking over the shoulder must not read it off the progress line.
std::string withoutToken(std::string address) {
    const std::size_t token = address.find("/a/");
    if (token == std::string::npos) return address;
    const std::size_t end = address.find('/', token + 3);
    address.replace(token + 3, end == std::string::npos ? std::string::npos : end - token - 3,
                    "...");
    return address;
}

}  // namespace

velcom::ComPtr<HostBackChannel> HostBackChannel::create(bool verbose) {
    return velcom::ComPtr<HostBackChannel>::attach(new HostBackChannel(verbose));
}

HostBackChannel::HostBackChannel(bool verbose)
    : DispatchImpl(kIvelBackChannelMembers), m_verbose(verbose) {}

STDMETHODIMP HostBackChannel::QueryInterface(REFIID riid, void** object) {
    const bool known = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                       IsEqualIID(riid, IID_IvelBackChannel);
    *object = known ? static_cast<IvelBackChannel*>(this) : nullptr;
    return known ? (AddRef(), S_OK) : E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) HostBackChannel::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP HostBackChannel::get_lTraceLevel(LONG* level) {
    if (level == nullptr) return E_INVALIDARG;
    // Mask 4 passes level 7 alone, the failure traces; 7 passes every line.
    *level = m_verbose ? 7 : 4;
    return S_OK;
}

STDMETHODIMP HostBackChannel::Error(LONG, LONG, LONG, LONG code, BSTR text1, BSTR text2,
                                    BSTR text3) {
    m_errors.push_back({code, toUtf8(text1), toUtf8(text2), toUtf8(text3)});
    return S_OK;
}

STDMETHODIMP HostBackChannel::Progress(LONG, LONG, LONG, LONG, BSTR text1, BSTR, BSTR,
                                       SHORT percent, SHORT) {
    if (!isatty(STDERR_FILENO)) return S_OK;
    const std::string address = withoutToken(toUtf8(text1));
    if (percent < 0)
        std::fprintf(stderr, "\r\033[K  %s ...", address.c_str());
    else
        std::fprintf(stderr, "\r\033[K  %s %d%%", address.c_str(), percent);
    m_progressShown = true;
    return S_OK;
}

STDMETHODIMP HostBackChannel::Info(LONG, LONG, LONG, LONG code, BSTR text1, BSTR, BSTR) {
    ++m_answers;
    m_pageComplete = true;
    if (m_verbose) {
        clearProgress();
        std::fprintf(stderr, "  answer %ld: %s\n", static_cast<long>(code), toUtf8(text1).c_str());
    }
    return S_OK;
}

STDMETHODIMP HostBackChannel::Trace(LONG, LONG, LONG depth, LONG level, BSTR text) {
    std::string line = toUtf8(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (level == kFailureLevel && depth == 0) m_failureTrace = line;
    if (m_verbose) {
        clearProgress();
        std::fprintf(stderr, "  trace %ld: %s\n", static_cast<long>(level), line.c_str());
    }
    return S_OK;
}

// The chunks of a page arrive before the Info that ends its transfer.
STDMETHODIMP HostBackChannel::Data(LONG, LONG, LONG, VARIANT* data) {
    if (data == nullptr || data->vt != (VT_ARRAY | VT_UI1) || data->parray == nullptr) return S_OK;
    if (m_pageComplete) m_page.clear();
    m_pageComplete = false;
    const velcom::SafeArrayData<char> bytes(data->parray);
    const std::size_t size = data->parray->rgsabound[0].cElements;
    if (bytes.data() != nullptr && m_page.size() < kPageLimit)
        m_page.append(bytes.data(), std::min(size, kPageLimit - m_page.size()));
    return S_OK;
}

void HostBackChannel::startCall() {
    m_page.clear();
    m_pageComplete = false;
    m_errors.clear();
    m_failureTrace.clear();
    m_answers = 0;
}

void HostBackChannel::clearProgress() {
    if (m_progressShown) std::fputs("\r\033[K", stderr);
    m_progressShown = false;
}
