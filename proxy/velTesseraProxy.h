// The object a host drives: it holds the collaborators handed to Init, the start information of
// the server, the communication step that orders the operations, and the last answer page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <velTesseraComm/DispatchTables.h>
#include <velTesseraComm/velTesseraComm.h>

#include "errors/ExceptionFrame.h"
#include "markup/mtGNodes.h"
#include "markup/mtGParser.h"
#include "proxy/AnswerPage.h"
#include "proxy/PkiCalls.h"
#include "tracer/ITracer.h"

class TransportBackChannel;

class CvelTesseraProxy final : public ISupportErrorInfo,
                               public velcom::DispatchImpl<IvelTesseraProxy>,
                               public velcom::DispatchImpl<IvelTesseraProxyEx>,
                               public velcom::DispatchImpl<IvelBackChannel> {
public:
    // Creates a proxy and queries riid from it. With an outer object the proxy is aggregated: riid
    // must then be IID_IUnknown, and its interfaces pass AddRef, Release and QueryInterface on to
    // the outer object while the returned inner IUnknown controls its life.
    static HRESULT create(IUnknown* outer, REFIID riid, void** object);

    // IUnknown, passed on to the controlling unknown.
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

    // IvelTesseraProxy
    STDMETHODIMP Init(IvelBackChannel* pBackChannel, IvelRand* pRandGenerator,
                      ISMPrivateKeyInfrastructure* pPKI, BSTR strTmpDir) override;
    STDMETHODIMP InitComm(BSTR strStartURL, VARIANT varAddHeaders) override;
    STDMETHODIMP RequestStep1(IvelNode** ppVal) override;
    STDMETHODIMP RequestStep2(BSTR strTOPasswd, BSTR strKeyPasswd, LONG bAGB, LONG bName,
                              LONG* plCertID) override;
    STDMETHODIMP PickUp(LONG* plCertID) override;
    STDMETHODIMP Revoke(ISMCertificate* pCert) override;
    STDMETHODIMP RenewStep1(ISMCertificate* pOldCert, IAuthenticator* pAuthenticator,
                            IvelNode** ppVal) override;
    STDMETHODIMP RenewStep2(BSTR strKeyPasswd, LONG bAGB, LONG* plCertID) override;
    STDMETHODIMP Check(ISMCertificate* pCert, IvelNode** ppVal) override;
    STDMETHODIMP UpdateCRL() override;

    // IvelTesseraProxyEx
    STDMETHODIMP PickUpEx(IAuthenticator* pAuthenticator, LONG* plCertID) override;

    // IvelBackChannel: the proxy's own, which the transport reports through. Callbacks reach the
    // host one level deeper; Data also collects the answer page.
    STDMETHODIMP get_lTraceLevel(LONG* pVal) override;
    STDMETHODIMP put_lTraceLevel(LONG newVal) override;
    STDMETHODIMP Error(LONG lTreadId, LONG lTime, LONG lDeep, LONG lErrorCode, BSTR bstrText1,
                       BSTR bstrText2, BSTR bstrText3) override;
    STDMETHODIMP Progress(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode, BSTR bstrText1,
                          BSTR bstrText2, BSTR bstrText3, SHORT nPercent, SHORT eAction) override;
    STDMETHODIMP Info(LONG lTreadId, LONG lTime, LONG lDeep, LONG lTextCode, BSTR bstrText1,
                      BSTR bstrText2, BSTR bstrText3) override;
    STDMETHODIMP Trace(LONG lTreadId, LONG lTime, LONG lDeep, LONG lLevel, BSTR bstrText) override;
    STDMETHODIMP Data(LONG lTreadId, LONG lTime, LONG lDeep, VARIANT* varData) override;

    // The steps the operations are built from. They are open so that tests can drive them one by
    // one; hosts reach the object only through its interfaces.

    // S_OK after Init; otherwise traces and reports TSR_E_NOT_INITIALIZED and returns it.
    HRESULT checkInit(int line);
    // S_OK when a start node is held and the step is `step`; otherwise traces and reports why.
    HRESULT checkComm(long step, int line);

    // One request through the transport and the parse of its answer into m_parser.
    HRESULT exchange(const std::string& address, bool bPost, const std::string& options);
    // The last Return and Action nodes of the last answer, borrowed from m_parser; fails when
    // there is no Return node or its status is not 100.
    HRESULT checkReturn(ReturnNode** ppReturn, ActionNode** ppAction);

    // The request the answer's Action node names, to its address with its method; an answer
    // without one is unusable (traced and reported as TSR_E_RESPONSE).
    HRESULT exchangeAction(const ActionNode* action, const std::string& options);

    // The Return and Action nodes of an answer, borrowed from m_parser until the next exchange.
    struct Answer {
        ReturnNode* returned = nullptr;
        ActionNode* action = nullptr;
    };
    // An operation's first page, fetched with GET and the fields collected so far, and its
    // verdict.
    HRESULT openPage(const std::string& address, const std::string& options, Answer& answer);
    // The request the answer's Action node names, and the verdict of its answer.
    HRESULT follow(const ActionNode* action, const std::string& options, Answer& answer);
    // An answer without a parameter the operation needs: traced as "TSR parameter <name> not
    // found in response" at line, reported and returned as TSR_E_RESPONSE.
    HRESULT missingParameter(const char* name, int line);

    bool addField(std::string name, std::string value);
    // Adds the parameter `name` of node as a form field under the server's spelling.
    bool copyParam(ParentNode* node, const char* name);
    // copyParam for each name of a null-terminated list; stops at the first one missing.
    bool copyParams(ParentNode* node, const char* const* names);

    // Steps shared by the operations.

    // A new SPKAC key request for the answer's "-challenge" (empty when it has none).
    HRESULT createKeyRequest(ReturnNode* answer, BSTR keyPassword, ISMRequest** request);
    // The pick-up request that follows a submission, and the import of its certificate.
    HRESULT fetchIssuedCertificate(ReturnNode* answer, ActionNode* action, BSTR keyPassword,
                                   LONG* plCertID);
    // Writes the answer's "cert" into the temporary directory and has the PKI component import
    // it for the request `reference`; pKeyPassword may be null.
    HRESULT importIssuedCertificate(ReturnNode* answer, const std::string& reference,
                                    BSTR* pKeyPassword, LONG* plCertID);
    // Writes the value of the answer's parameter `name` as a PEM file into the temporary
    // directory; false, with nothing written, when the value is missing or empty.
    bool writePemFile(ReturnNode* answer, const std::string& name, std::string& path);
    // Exports the old certificate and its key for client authentication and builds the
    // transport options that name them.
    HRESULT prepareClientAuth(ISMCertificate* oldCert, IAuthenticator* authenticator,
                              std::string& options);
    // Writes the answer's "crl" into the temporary directory and has the PKI component load and
    // import it.
    HRESULT importRevocationList(ReturnNode* answer);
    // A file in the temporary directory given to Init.
    std::string temporaryPath(const char* name) const;

    // The PKI component's calls; each raises a COM error for a failure and E_POINTER when the
    // component offered no ISMPrivateKeyInfrastructure.
    PkiCalls pki() const { return PkiCalls(m_pPKI.get()); }

    long step() const { return m_lStep; }
    const std::string& options() const { return m_strOptions; }
    std::string_view response() const { return m_response.text(); }
    const std::vector<std::string>& fields() const { return m_vecFields; }
    const StartNode* startNode() const { return m_pStartNode.get(); }

    static constexpr const char* kSource = "velTesseraProxy";

    // Source lines carried in the traces.
    static constexpr int kInitAgainLine = 1183;
    static constexpr int kInvalidPkiLine = 1189;
    static constexpr int kInitFrameLine = 1218;
    static constexpr int kInitCommCheckLine = 1243;
    static constexpr int kInitCommAgainLine = 1248;
    static constexpr int kInitCommFrameLine = 1273;
    static constexpr int kResponseUnusableLine = 297;
    static constexpr int kNoReturnNodeLine = 339;
    static constexpr int kServerErrorLine = 349;
    static constexpr int kNoActionNodeLine = 353;

    // The operations: the line of their state check and of their exception frame.
    struct OperationLines {
        int check;
        int frame;
    };
    static constexpr OperationLines kRequestStep1Lines{1297, 1318};
    static constexpr OperationLines kRequestStep2Lines{1353, 1414};
    static constexpr OperationLines kPickUpExLines{1464, 1574};
    static constexpr OperationLines kRevokeLines{1601, 1680};
    static constexpr OperationLines kRenewStep1Lines{1711, 1744};
    static constexpr OperationLines kRenewStep2Lines{1774, 1834};
    static constexpr OperationLines kCheckLines{1862, 1910};
    static constexpr OperationLines kUpdateCRLLines{1934, 1961};

private:
    // The non-delegating IUnknown: it alone counts the proxy's references.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(CvelTesseraProxy& owner) : m_owner(owner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        CvelTesseraProxy& m_owner;
        ULONG m_lRefCount = 0;
    };

    explicit CvelTesseraProxy(IUnknown* outer);
    ~CvelTesseraProxy();

    HRESULT queryOwnInterface(REFIID riid, void** object);

    // An operation: the state check for `step`, then the body; a failed check, a failed result
    // and an exception leave step 1. endsTransaction: step 1 on success as well.
    template <class Body>
    HRESULT operation(long step, OperationLines lines, bool endsTransaction, Body body);

    HRESULT createTransport(IvelRand* pRandGenerator);

    InnerUnknown m_innerUnknown{*this};
    IUnknown* m_pControllingUnknown;
    // What the transport reports through: a separate object that forwards to this one while it
    // lives, so that the transport's reference does not keep the proxy alive.
    TransportBackChannel* m_pTransportBackChannel = nullptr;

    bool m_bInitialized = false;
    ITracer* m_pTracer = nullptr;
    velcom::ComPtr<IvelBackChannel> m_pBackChannel;
    // Shared with the start page's other nodes, which it keeps.
    std::shared_ptr<const StartNode> m_pStartNode;
    long m_lStep = 0;
    mtGParser m_parser;
    AnswerPage m_response;
    // A chunk of the answer could not be kept: the page has a gap, and its exchange fails even
    // when the transport carries on.
    bool m_bResponseLost = false;
    std::string m_strTmpDir;
    std::vector<std::string> m_vecHeaders;
    std::vector<std::string> m_vecFields;
    std::string m_strOptions;
    std::string m_strOldCert;
    velcom::ComPtr<IvelTransport> m_pTransport;
    velcom::ComPtr<ISMPrivateKeyInfrastructure> m_pPKI;
};

template <class Body>
HRESULT CvelTesseraProxy::operation(long step, OperationLines lines, bool endsTransaction,
                                    Body body) {
    HRESULT result = checkComm(step, lines.check);
    if (FAILED(result)) {
        m_lStep = 1;
        return result;
    }
    result = exceptionFrame(kSource, lines.frame, body);
    if (FAILED(result) || endsTransaction) m_lStep = 1;
    return result;
}

// The first child of node that is a parameter named `name` (ignoring case), still owned by node;
// null when there is none.
const ParameterNode* findParameter(ParentNode* node, const char* name);
// The first child of node that is a parameter named `name` (ignoring case): its name as the
// server spells it and its value.
bool findParam(ParentNode* node, const char* name, std::string* pName, std::string* pValue);
