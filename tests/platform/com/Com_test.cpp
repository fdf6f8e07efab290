#include "platform/com/Com.h"
#include "platform/com/ComAdvise.h"
#include "platform/com/ComClassTable.h"

#include <gtest/gtest.h>

namespace {

TEST(Guid, PrintsTheBracedUpperCaseForm)
{
    const GUID guid{0x7CA25402, 0x0ACB, 0x11CA, {0x55, 0xC0, 0x13, 0x76, 0x83, 0x19, 0x40, 0x00}};
    EXPECT_EQ(GuidToString(guid), "{7CA25402-0ACB-11CA-55C0-137683194000}");
}

TEST(Guid, ParsesWhatItPrintsInEitherCase)
{
    const GUID guid{0x4EA25412, 0x6ADD, 0x0ADF, {0x55, 0xC0, 0x13, 0x76, 0xA3, 0x11, 0x03, 0x02}};
    EXPECT_EQ(GuidFromString(GuidToString(guid)), guid);
    EXPECT_EQ(GuidFromString("{4ea25412-6add-0adf-55c0-1376a3110302}"), guid);
}

class GuidRejects : public ::testing::TestWithParam<const char*> { };

TEST_P(GuidRejects, TextThatIsNotTheBracedForm)
{
    EXPECT_FALSE(GuidFromString(GetParam()).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuidRejects,
    ::testing::Values("", "7CA25402-0ACB-11CA-55C0-137683194000", "{7CA25402-0ACB-11CA-55C0-13768319400}",
                      "{7CA25402-0ACB-11CA-55C0-1376831940000}", "{7CA25402+0ACB-11CA-55C0-137683194000}",
                      "{7CA2540G-0ACB-11CA-55C0-137683194000}", "{7CA25402-0ACB-11CA-55C0-137683194000)"));

TEST(Guid, BytesAreLittleEndianFieldsThenTheLastEight)
{
    const GUID guid{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    const auto bytes = GuidToBytes(guid);
    const std::array<std::uint8_t, 16> expected{4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(GuidFromBytes(bytes.data()), guid);
}

TEST(ResultCodes, HaveThePlatformValues)
{
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOTIMPL), 0x80004001u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_NOINTERFACE), 0x80004002u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_EQ(static_cast<std::uint32_t>(E_UNEXPECTED), 0x8000FFFFu);
    EXPECT_EQ(static_cast<std::uint32_t>(E_OUTOFMEMORY), 0x8007000Eu);
    EXPECT_EQ(static_cast<std::uint32_t>(CLASS_E_NOAGGREGATION), 0x80040110u);
    EXPECT_EQ(static_cast<std::uint32_t>(STG_E_INVALIDPOINTER), 0x80030009u);
    EXPECT_EQ(static_cast<std::uint32_t>(DV_E_TYMED), 0x80040069u);
    EXPECT_EQ(static_cast<std::uint32_t>(DV_E_DVASPECT), 0x8004006Bu);
    EXPECT_EQ(DATA_S_SAMEFORMATETC, 0x00040130);
    EXPECT_EQ(static_cast<std::uint32_t>(OLEOBJ_E_NOVERBS), 0x80040180u);
}

TEST(ClipboardFormats, TheSameNameGivesTheSameNumber)
{
    const CLIPFORMAT a = RegisterClipboardFormat("Com test format A");
    const CLIPFORMAT b = RegisterClipboardFormat("Com test format B");
    EXPECT_GE(a, 0xC000);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterClipboardFormat("Com test format A"), a);
    EXPECT_EQ(ClipboardFormatName(b), "Com test format B");
    EXPECT_EQ(ClipboardFormatName(CF_TEXT), "");
}

// A sink that counts what it is told and how often it is referenced.
class TCountingSink final : public IAdviseSink {
public:
    int References = 1;
    int Closes = 0;
    int Saves = 0;
    int DataChanges = 0;

    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return static_cast<ULONG>(++References); }
    ULONG Release() override { return static_cast<ULONG>(--References); }
    void OnDataChange(FORMATETC*, STGMEDIUM*) override { ++DataChanges; }
    void OnViewChange(DWORD, std::int32_t) override { }
    void OnRename(IUnknown*) override { }
    void OnSave() override { ++Saves; }
    void OnClose() override { ++Closes; }
};

TEST(OleAdviseHolder, TellsEveryAdvisedSinkUntilItIsUnadvised)
{
    IOleAdviseHolder* holder = nullptr;
    ASSERT_EQ(CreateOleAdviseHolder(&holder), S_OK);
    TCountingSink first;
    TCountingSink second;
    DWORD c1 = 0;
    DWORD c2 = 0;
    ASSERT_EQ(holder->Advise(&first, &c1), S_OK);
    ASSERT_EQ(holder->Advise(&second, &c2), S_OK);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(first.References, 2);
    holder->SendOnClose();
    EXPECT_EQ(holder->Unadvise(c1), S_OK);
    EXPECT_EQ(holder->Unadvise(c1), OLE_E_NOCONNECTION);
    holder->SendOnClose();
    holder->SendOnSave();
    EXPECT_EQ(first.Closes, 1);
    EXPECT_EQ(second.Closes, 2);
    EXPECT_EQ(second.Saves, 1);
    EXPECT_EQ(first.References, 1);

    IEnumSTATDATA* connections = nullptr;
    ASSERT_EQ(holder->EnumAdvise(&connections), S_OK);
    STATDATA item[2];
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(2, item, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(item[0].dwConnection, c2);
    item[0].pAdvSink->Release();
    connections->Release();

    EXPECT_EQ(holder->Release(), 0u);
    EXPECT_EQ(second.References, 1); // the holder let go of its reference when it was freed
}

TEST(DataAdviseHolder, SendsDataChangeToItsSinks)
{
    IDataAdviseHolder* holder = nullptr;
    ASSERT_EQ(CreateDataAdviseHolder(&holder), S_OK);
    TCountingSink sink;
    DWORD connection = 0;
    FORMATETC format;
    ASSERT_EQ(holder->Advise(nullptr, &format, 0, &sink, &connection), S_OK);
    holder->SendOnDataChange(nullptr, 0, 0);
    EXPECT_EQ(sink.DataChanges, 1);
    EXPECT_EQ(holder->Unadvise(connection), S_OK);
    holder->SendOnDataChange(nullptr, 0, 0);
    EXPECT_EQ(sink.DataChanges, 1);
    holder->Release();
}

// A factory that makes nothing but counts its references.
class TTestFactory final : public IClassFactory {
public:
    int References = 1;
    HRESULT QueryInterface(const IID& riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            AddRef();
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++References); }
    ULONG Release() override { return static_cast<ULONG>(--References); }
    HRESULT CreateInstance(IUnknown*, const IID&, void** ppv) override
    {
        *ppv = nullptr;
        return E_FAIL;
    }
    HRESULT LockServer(bool) override { return E_FAIL; }
};

TEST(ClassTable, HoldsARegisteredFactoryUntilItIsRevoked)
{
    const CLSID clsid{0x11112222, 0x3333, 0x4444, {1, 2, 3, 4, 5, 6, 7, 8}};
    TTestFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    EXPECT_EQ(factory.References, 2);

    IClassFactory* found = nullptr;
    ASSERT_EQ(
        CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, IID_IClassFactory, reinterpret_cast<void**>(&found)),
        S_OK);
    EXPECT_EQ(found, &factory);
    found->Release();
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object), E_FAIL);

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.References, 1);
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(
        CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, IID_IClassFactory, reinterpret_cast<void**>(&found)),
        REGDB_E_CLASSNOTREG);
}

} // namespace
