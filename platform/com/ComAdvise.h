#pragma once

#include "platform/com/Com.h"

/// A new object advise holder (count 1): keeps the sinks an object tells of close, save and rename.
HRESULT CreateOleAdviseHolder(IOleAdviseHolder** ppOAHolder);
/// A new data advise holder (count 1): keeps the sinks told when an object's data changes.
HRESULT CreateDataAdviseHolder(IDataAdviseHolder** ppDAHolder);
/// An enumerator over a copy of the given connections (each sink gains a reference while listed).
HRESULT CreateStatDataEnumerator(const std::vector<STATDATA>& items, IEnumSTATDATA** ppenum);
