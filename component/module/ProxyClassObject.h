// The class object of CvelTesseraProxy.
#pragma once

#include "module/ClassObject.h"
#include "proxy/velTesseraProxy.h"

using CvelTesseraProxyClassObject = ClassObject<&CvelTesseraProxy::create>;
