// The nodes of an answer: start information, outcome, action and parameters. Each node reads its
// own lines from a scanner; the parser arranges them into a root per block with its children.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "markup/NodeValue.h"
#include "markup/Scanner.h"

enum NodeKind { KindReturn = 0, KindParam = 1, KindAction = 2, KindStart = 3 };

enum ParamType {
    ParamTypeNone = 0,
    ParamTypeText = 1,
    ParamTypeBool = 2,
    ParamTypeNumber = 3,
    ParamTypeSPKAC = 4,
    ParamTypePKCS7 = 5,
    ParamTypeX509 = 6,
    ParamTypeNSCS = 7,
};

class Node {
public:
    virtual ~Node() = default;
    virtual bool parse(Scanner* scanner) = 0;
    // Takes ownership of child when it answers true; only nodes with children do.
    virtual bool addChild(Node* child);
    // The children, still owned by this node.
    virtual std::vector<Node*> getChildren() const;
    virtual int getKind() const = 0;
    // A deep copy owned by the caller.
    virtual Node* clone() const = 0;
    // Whether the node takes the key token; a node takes each key at most once.
    virtual bool accepts(int token) = 0;
    // Stores the value of a key the node takes; it may take the text over (move from it). A null
    // value changes nothing, so an empty value never overwrites.
    virtual bool setAttribute(int token, std::string* value) = 0;
};

class mtGNode : public Node {
public:
    // Reads "key = value" lines while the node accepts their keys.
    bool parse(Scanner* scanner) override;
    // Reads a value: the rest of the line after "=", and every following line that does not
    // begin with a keyword, joined with CR LF.
    bool readValue(int key, Scanner* scanner);
    // Stores a value the scanner read in one go, as setAttribute stores text; only a parameter's
    // value keeps a value that refers to its page.
    virtual bool setValue(int token, NodeValue&& value);
    // Stores a value of one line, read where it lies, as setAttribute stores text.
    virtual bool setText(int token, std::string_view text);

    static constexpr const char* kSource = "mtGNodes";

protected:
    // Shared by the concrete classes: takes each key once, answering whether it is in `accepted`.
    static bool acceptOnce(unsigned long& seen, unsigned long accepted, int token);
    static bool rejectAttribute(int line, int token, const std::string& value);
};

class StartNode : public mtGNode {
public:
    bool addChild(Node* child) override;
    std::vector<Node*> getChildren() const override;
    int getKind() const override { return KindStart; }
    Node* clone() const override;
    bool accepts(int token) override;
    bool setAttribute(int token, std::string* value) override;

    std::string getCreateCertificate() const { return m_strCreateCertificate; }
    std::string getPickUpCertificate() const { return m_strPickUpCertificate; }
    std::string getRenewCertificate() const { return m_strRenewCertificate; }
    std::string getRevokeCertificate() const { return m_strRevokeCertificate; }
    std::string getCRLDownload() const { return m_strCRLDownload; }
    std::string getCheckCertificate() const { return m_strCheckCertificate; }

    static constexpr int kInvalidTokenLine = 288;

private:
    std::string m_strCreateCertificate;
    std::string m_strPickUpCertificate;
    std::string m_strRenewCertificate;
    std::string m_strRevokeCertificate;
    std::string m_strCRLDownload;
    std::string m_strCheckCertificate;
    unsigned long m_lSeen = 0;
};

class ParameterNode : public mtGNode {
public:
    bool addChild(Node* child) override;
    std::vector<Node*> getChildren() const override;
    int getKind() const override { return KindParam; }
    Node* clone() const override;
    bool accepts(int token) override;
    bool setAttribute(int token, std::string* value) override;
    bool setValue(int token, NodeValue&& value) override;
    bool setText(int token, std::string_view text) override;

    std::string getName() const { return m_strName; }
    // The name without a copy, for the lookups by name.
    const std::string& name() const { return m_strName; }
    std::string getValue() const { return m_value.text(); }
    // Read access without a copy, for values of many megabytes; a value that refers to its page
    // is joined on the first call.
    const std::string& value() const { return m_value.text(); }
    int getType() const { return m_eType; }

    static constexpr int kInvalidTokenLine = 420;

private:
    // An unknown name leaves the type as it was.
    void setType(std::string_view name);

    std::string m_strName;
    NodeValue m_value;
    int m_eType = ParamTypeNone;
    unsigned long m_lSeen = 0;
};

class ParentNode : public mtGNode {
public:
    ParentNode() = default;
    ParentNode(const ParentNode& other);
    ParentNode& operator=(const ParentNode& other);
    ~ParentNode() override;

    bool addChild(Node* child) override;
    std::vector<Node*> getChildren() const override;
    // The children where they are kept, for a search that would not copy the list.
    std::span<const std::unique_ptr<Node>> children() const { return m_vecChildren; }

private:
    void deleteChildren();

    static constexpr std::size_t kTypicalChildren = 16;

    std::vector<std::unique_ptr<Node>> m_vecChildren;
};

class ReturnNode : public ParentNode {
public:
    int getKind() const override { return KindReturn; }
    Node* clone() const override;
    bool accepts(int token) override;
    bool setAttribute(int token, std::string* value) override;

    std::string getName() const { return m_strName; }
    std::string getErrorMessage() const { return m_strErrorMessage; }
    long getStatus() const { return m_lStatus; }

    static constexpr int kInvalidTokenLine = 725;

private:
    std::string m_strName;
    std::string m_strErrorMessage;
    long m_lStatus = 100;
    unsigned long m_lSeen = 0;
};

class ActionNode : public ParentNode {
public:
    int getKind() const override { return KindAction; }
    Node* clone() const override;
    bool accepts(int token) override;
    bool setAttribute(int token, std::string* value) override;

    std::string getAction() const { return m_strAction; }
    std::string getURL() const { return m_strURL; }
    bool getPost() const { return m_bPost; }

    static constexpr int kInvalidTokenLine = 897;

private:
    std::string m_strAction;
    std::string m_strURL;
    bool m_bPost = true;
    unsigned long m_lSeen = 0;
};
