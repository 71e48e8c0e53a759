// An outcome node that throws on demand, to drive the failure paths of the node objects. The fault
// is shared by the node and all its clones, so a test can arm it after the node objects have
// taken their copies.
#pragma once

#include <memory>
#include <new>
#include <string>

#include <velcom/com.h>

#include "Utility/ExceptionBase.h"
#include "markup/Tokens.h"
#include "markup/mtGNodes.h"

struct Fault {
    enum class Place { Nowhere, Clone, Kind };
    enum class Exception { BadAlloc, Contract, ComError };

    // Where an Invariant thrown by the node says it was thrown.
    static constexpr const char* kContractFile = "FaultyNode.h";
    static constexpr int kContractLine = 7;

    Place place = Place::Nowhere;
    Exception exception = Exception::BadAlloc;
    HRESULT comError = E_OUTOFMEMORY;

    void raiseAt(Place at) const {
        if (at != place) return;
        switch (exception) {
            case Exception::BadAlloc:
                throw std::bad_alloc();
            case Exception::Contract:
                throw Invariant(kContractFile, kContractLine);
            case Exception::ComError:
                _com_issue_error(comError);
        }
    }
};

class FaultyNode : public ReturnNode {
public:
    FaultyNode(std::shared_ptr<Fault> fault, std::string name) : m_fault(std::move(fault)) {
        setAttribute(TokReturn, &name);
    }

    Node* clone() const override {
        m_fault->raiseAt(Fault::Place::Clone);
        return new FaultyNode(*this);
    }
    int getKind() const override {
        m_fault->raiseAt(Fault::Place::Kind);
        return ReturnNode::getKind();
    }

private:
    std::shared_ptr<Fault> m_fault;
};
