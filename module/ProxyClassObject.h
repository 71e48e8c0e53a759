// The class object of CvelTesseraProxy.
#pragma once

#include "inproc/ClassObject.h"
#include "proxy/velTesseraProxy.h"

using CvelTesseraProxyClassObject = ClassObject<&CvelTesseraProxy::create>;
