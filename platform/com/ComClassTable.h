#pragma once

#include "platform/com/Com.h"

/// Registers a class object (its factory) for a class identifier; the table keeps a reference until
/// the registration is revoked. *lpdwRegister receives the number to revoke it by.
HRESULT CoRegisterClassObject(const CLSID& rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              DWORD* lpdwRegister);
/// Ends a registration and drops the table's reference; CO_E_OBJNOTREG for a number not registered.
HRESULT CoRevokeClassObject(DWORD dwRegister);
/// The registered class object of a class, asked for riid; REGDB_E_CLASSNOTREG when none is registered.
HRESULT CoGetClassObject(const CLSID& rclsid, DWORD dwClsContext, const IID& riid, void** ppv);
/// A new object of a registered class through its factory.
HRESULT CoCreateInstance(const CLSID& rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, const IID& riid,
                         void** ppv);
