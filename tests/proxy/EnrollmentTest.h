// What the tests of applying for and renewing a certificate share: a proxy whose temporary
// directory is a real one, a first step that fails on its page, the submission and pick-up that
// end a dialogue, and what the PKI component was asked.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy/DirectoryProxyTest.h"

// An answer that fails the first step of a dialogue, with its result and the one trace line it
// causes (level and text).
struct FailingPage {
    const char* name;
    TransportAnswer answer;
    HRESULT result;
    std::string trace;
};

class EnrollmentTest : public DirectoryProxyTest {
protected:
    // The PKI component's key requests give requestText as their text; its imports give 42.
    explicit EnrollmentTest(const char* requestText) : m_requestText(requestText) {}
    void SetUp() override {
        DirectoryProxyTest::SetUp();
        pki->request->base64 = m_requestText;
        pki->certificateId = 42;
    }

    // Each answer in turn to the first step, which fails with the answer's result: the host gets
    // no node and one error report, the dialogue stays at step one.
    template <class FirstStep>
    void expectFirstStepFailsOn(const std::vector<FailingPage>& pages, FirstStep firstStep) {
        for (const FailingPage& page : pages) {
            SCOPED_TRACE(page.name);
            forgetCallbacks();
            script.queue(page.answer);
            velcom::ComPtr<IvelNode> node;
            EXPECT_EQ(firstStep(node), page.result);
            EXPECT_EQ(node.get(), nullptr);
            EXPECT_EQ(proxy.object().step(), 1);
            EXPECT_EQ(levelledTraces(), Strings{page.trace});
            EXPECT_EQ(reportedErrors(), std::vector<LONG>{page.result});
        }
    }
    // The last requests of the one dialogue since InitComm, which reached its certificate: the
    // submission, and the pick-up, which sends the submission's fields again followed by the
    // receipt's names, without options.
    void expectSubmissionAndPickUp(const RequestLine& submissionLine, const Strings& submitted,
                                   const std::string& fetchUrl,
                                   const Strings& receiptFields) const {
        ASSERT_EQ(script.requests().size(), 4u);
        EXPECT_EQ(requestLine(script.requests()[2]), submissionLine);
        EXPECT_EQ(script.requests()[2].fields.items, submitted);
        Strings fetched = submitted;
        fetched.insert(fetched.end(), receiptFields.begin(), receiptFields.end());
        EXPECT_EQ(requestLine(script.requests()[3]), (RequestLine{"GET", fetchUrl, ""}));
        EXPECT_EQ(script.requests()[3].fields.items, fetched);
    }

    Strings pkiMethods() const { return pki->methods(); }
    // The PKI calls from the index-th on.
    Strings pkiMethodsFrom(std::size_t index) const {
        const Strings methods = pkiMethods();
        return index < methods.size()
                   ? Strings(methods.begin() + static_cast<long>(index), methods.end())
                   : Strings{};
    }
    Strings argumentsOf(const char* method, std::size_t index = 0) const {
        const auto calls = pki->callsTo(method);
        return index < calls.size() ? calls[index].arguments : Strings{"<no such call>"};
    }
    // The submission of the last dialogue that got as far as the pick-up.
    TransportRequest submission() const {
        return script.requests().at(script.requests().size() - 2);
    }

    LONG certificateId = 0;

private:
    const char* m_requestText;
};
