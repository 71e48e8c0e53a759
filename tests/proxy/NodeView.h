// What a script reads of a node object the proxy hands to its host.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include <velTesseraComm/velTesseraComm.h>
#include <velcom/com.h>

#include "text/AnsiText.h"

struct NodeView {
    std::string name;
    NodeType type = TesseraNTParam;
    std::string text;
    LONG number = 0;
    LONG children = 0;
};

inline NodeView viewOf(IvelNode& node) {
    NodeView view;
    velcom::Bstr text;
    EXPECT_EQ(node.get_Name(text.put()), S_OK);
    view.name = toAnsi(text.get());
    EXPECT_EQ(node.get_Type(&view.type), S_OK);
    EXPECT_EQ(node.get_StringProp(text.put()), S_OK);
    view.text = toAnsi(text.get());
    EXPECT_EQ(node.get_LongProp(&view.number), S_OK);
    velcom::ComPtr<IvelNodeCollection> children;
    EXPECT_EQ(node.get_SubNodes(children.put()), S_OK);
    if (children) {
        EXPECT_EQ(children->get_Count(&view.children), S_OK);
    }
    return view;
}
