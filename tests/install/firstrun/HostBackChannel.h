// The host's back channel: the component reports errors, progress, information and traces here,
// and the transport's answer pages pass by in Data. This host prints the errors and counts them.
#pragma once

#include <cstdio>
#include <string>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "CountedObject.h"

class HostBackChannel final : public velcom::DispatchImpl<IvelBackChannel>,
                              public CountedObject<HostBackChannel> {
public:
    static velcom::ComPtr<IvelBackChannel> create(unsigned& errors) {
        velcom::ComPtr<IvelBackChannel> channel;
        (new HostBackChannel(errors))->QueryInterface(IID_IvelBackChannel, channel.putVoid());
        return channel;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
            !IsEqualIID(riid, IID_IvelBackChannel)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IvelBackChannel*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

    STDMETHODIMP get_lTraceLevel(LONG* level) override {
        if (level == nullptr) return E_POINTER;
        *level = 1;  // state messages only
        return S_OK;
    }
    STDMETHODIMP put_lTraceLevel(LONG) override { return S_OK; }
    STDMETHODIMP Error(LONG, LONG, LONG, LONG code, BSTR text1, BSTR text2, BSTR text3) override {
        ++m_errors;
        std::fprintf(stderr, "host: error 0x%08X %s %s %s\n", static_cast<unsigned>(code),
                     narrow(text1).c_str(), narrow(text2).c_str(), narrow(text3).c_str());
        return S_OK;
    }
    STDMETHODIMP Progress(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR, SHORT, SHORT) override {
        return S_OK;
    }
    STDMETHODIMP Info(LONG, LONG, LONG, LONG, BSTR, BSTR, BSTR) override { return S_OK; }
    STDMETHODIMP Trace(LONG, LONG, LONG, LONG, BSTR text) override {
        std::printf("host: trace %s\n", narrow(text).c_str());
        return S_OK;
    }
    STDMETHODIMP Data(LONG, LONG, LONG, VARIANT*) override { return S_OK; }

    // The text of a BSTR in UTF-8.
    static std::string narrow(BSTR text) {
        const int length = static_cast<int>(SysStringLen(text));
        if (length == 0) return std::string();
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
        std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
        return result;
    }

private:
    explicit HostBackChannel(unsigned& errors)
        : DispatchImpl(kIvelBackChannelMembers), m_errors(errors) {}
    ~HostBackChannel() = default;
    friend class CountedObject<HostBackChannel>;

    unsigned& m_errors;
};
