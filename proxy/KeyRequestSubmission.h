// The part of an application that a new certificate and a renewal share: the key request sent to
// the server, kept open in the PKI component, and its certificate fetched at once.
#pragma once

#include <string>

#include "proxy/velTesseraProxy.h"

// The answer of the first step, which is still the last one, and a new key request for its
// challenge.
HRESULT startKeyRequest(CvelTesseraProxy& proxy, BSTR keyPassword,
                        CvelTesseraProxy::Answer& application, velcom::ComPtr<ISMRequest>& request);

// Sends the fields collected so far, followed by the request's Base64 text as "-key_challenge",
// to the address the action names. Until the server's answer names its reference "-refnum", the
// PKI component keeps the request open under the current time, so that a failed answer still
// leaves it to be picked up; a missing reference is traced at refnumMissingLine.
HRESULT submitKeyRequest(CvelTesseraProxy& proxy, ISMRequest& request, const ActionNode* action,
                         const std::string& options, int refnumMissingLine, BSTR keyPassword,
                         LONG* plCertID);
