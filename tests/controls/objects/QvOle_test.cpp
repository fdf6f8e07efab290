#include "controls/objects/ClassFactory.h"
#include "controls/objects/DataObject.h"
#include "controls/objects/QvOle.h"
#include "platform/com/Storage.h"
#include "tests/support/RichObjectsFixture.h"

#include <QPainter>

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// A kind that records what is asked of it; its data is the byte count it was last given to write.
class TProbe final : public THostedOle {
public:
    static inline int Alive = 0;
    static inline int Drawn = 0;
    static inline int LastVerb = -1;
    static inline QByteArray Data = "probe data";

    TProbe() { ++Alive; }
    ~TProbe() override { --Alive; }
    static std::unique_ptr<THostedOle> New() { return std::make_unique<TProbe>(); }
    CLSID GetClassID() const override { return CLSID{0xABCDEF01, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}}; }
    std::string GetUserType() const override { return "Probe"; }
    std::string GetProgID() const override { return "Probe: Classname=TProbe"; }
    std::unique_ptr<THostedOle> Create() const override { return New(); }
    void Draw(DWORD, const QRect&, QPainter&) override { ++Drawn; }
    bool SaveToStream(IStream* stream) override
    {
        ULONG written = 0;
        return SUCCEEDED(stream->Write(Data.constData(), static_cast<ULONG>(Data.size()), &written));
    }
    bool LoadFromStream(IStream* stream) override
    {
        char first = 0;
        ULONG read = 0;
        return SUCCEEDED(stream->Read(&first, 1, &read)) && read == 1 && first != '!';
    }
    HRESULT DoVerb(std::int32_t verb) override
    {
        LastVerb = verb;
        return S_FALSE;
    }
    QString ClassName() const override { return QStringLiteral("TProbe"); }
    QSize NaturalSize() const override { return {96, 48}; }
};

std::unique_ptr<THostedOle> Failing()
{
    throw std::runtime_error("no memory");
}

class TSink final : public IAdviseSink {
public:
    int References = 1;
    int ViewChanges = 0;
    DWORD Aspect = 0;
    std::int32_t Index = 0;
    int Closes = 0;
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return static_cast<ULONG>(++References); }
    ULONG Release() override { return static_cast<ULONG>(--References); }
    void OnDataChange(FORMATETC*, STGMEDIUM*) override { }
    void OnViewChange(DWORD aspect, std::int32_t index) override
    {
        ++ViewChanges;
        Aspect = aspect;
        Index = index;
    }
    void OnRename(IUnknown*) override { }
    void OnSave() override { }
    void OnClose() override { ++Closes; }
};

TEST(QvOle, FreesItselfAndItsHostedObjectWhenTheLastReferenceGoes)
{
    auto* object = new TQvOle(&TProbe::New);
    EXPECT_EQ(TProbe::Alive, 1);
    EXPECT_EQ(object->Hosted().Owner(), object);
    IViewObject* view = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)), S_OK);
    EXPECT_EQ(view, &object->ViewObject());
    EXPECT_EQ(object->RefCount(), 2u); // the companion passed its reference on
    object->Release();
    EXPECT_EQ(TProbe::Alive, 1);
    view->Release();
    EXPECT_EQ(TProbe::Alive, 0);
}

TEST(QvOle, AnswersEachInterfaceWithItsCompanion)
{
    auto* object = new TQvOle(&TProbe::New);
    void* answer = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IDataObject, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<IDataObject*>(&object->DataObject()));
    static_cast<IDataObject*>(answer)->Release();
    ASSERT_EQ(object->QueryInterface(IID_IPersistStorage, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<IPersistStorage*>(&object->PersistStorage()));
    static_cast<IPersistStorage*>(answer)->Release();
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, &answer), S_OK);
    EXPECT_EQ(answer, static_cast<IOleObject*>(object));
    object->Release();
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
    object->Release();
}

TEST(QvOle, SettingTheOwnerASecondTimeRaises)
{
    TProbe probe;
    auto* object = new TQvOle(&TProbe::New);
    probe.SetOwner(object);
    try {
        probe.SetOwner(object);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Can not change owner");
    }
    object->Release();
}

TEST(QvOle, OleObjectAnswers)
{
    auto* object = new TQvOle(&TProbe::New);
    EXPECT_EQ(object->SetHostNames("a", "b"), S_OK);
    EXPECT_EQ(object->Update(), S_OK);
    EXPECT_EQ(object->IsUpToDate(), S_OK);
    EXPECT_EQ(object->SetMoniker(0, nullptr), E_NOTIMPL);
    EXPECT_EQ(object->InitFromData(nullptr, true, 0), E_NOTIMPL);
    EXPECT_EQ(object->SetColorScheme(nullptr), E_NOTIMPL);
    IUnknown* moniker = reinterpret_cast<IUnknown*>(object);
    EXPECT_EQ(object->GetMoniker(0, 0, &moniker), E_NOTIMPL);
    EXPECT_EQ(moniker, nullptr);
    EXPECT_EQ(object->EnumVerbs(nullptr), OLEOBJ_E_NOVERBS);
    SIZEL size{1, 1};
    EXPECT_EQ(object->SetExtent(DVASPECT_CONTENT, &size), E_FAIL);
    EXPECT_EQ(object->Unadvise(1), E_FAIL);
    EXPECT_EQ(object->EnumAdvise(nullptr), E_FAIL);
    DWORD status = 0;
    EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &status), S_OK);
    EXPECT_EQ(status, OLEMISC_RENDERINGISDEVICEINDEPENDENT);
    CLSID clsid;
    EXPECT_EQ(object->GetUserClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, object->Hosted().GetClassID());
    EXPECT_EQ(object->DoVerb(7, nullptr, nullptr, 0, nullptr, nullptr), S_FALSE);
    EXPECT_EQ(TProbe::LastVerb, 7);
    IDataObject* data = nullptr;
    EXPECT_EQ(object->GetClipboardData(0, &data), S_OK);
    EXPECT_EQ(data, &object->DataObject());
    data->Release();
    object->Release();
}

TEST(QvOle, ExtentIsPixelsInHundredthsOfAMillimetre)
{
    auto* object = new TQvOle(&TProbe::New);
    SIZEL size;
    ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &size), S_OK);
    const QPointF perInch = ScreenPixelsPerInch();
    EXPECT_EQ(size.cx, static_cast<int>(96 * 2540 / perInch.x()));
    EXPECT_EQ(size.cy, static_cast<int>(48 * 2540 / perInch.y()));
    EXPECT_EQ(HimetricToPixels(size), QSize(96, 48));
    object->Release();
}

TEST(QvOle, CloseTellsTheAdvisedSinks)
{
    auto* object = new TQvOle(&TProbe::New);
    EXPECT_EQ(object->Close(0), S_OK); // no holder yet
    TSink sink;
    DWORD connection = 0;
    ASSERT_EQ(object->Advise(&sink, &connection), S_OK);
    object->Close(0);
    EXPECT_EQ(sink.Closes, 1);
    EXPECT_EQ(object->Unadvise(connection), S_OK);
    object->Release();
    EXPECT_EQ(sink.References, 1);
}

TEST(ViewObject, ChangedTellsTheViewSinkAndDrawReachesTheHostedObject)
{
    auto* object = new TQvOle(&TProbe::New);
    TSink sink;
    TViewObject& view = object->ViewObject();
    EXPECT_EQ(view.SetAdvise(DVASPECT_CONTENT, 0, &sink), S_OK);
    object->Hosted().Changed();
    EXPECT_EQ(sink.ViewChanges, 1);
    EXPECT_EQ(sink.Aspect, DVASPECT_CONTENT);
    EXPECT_EQ(sink.Index, -1);

    QImage image(50, 50, QImage::Format_ARGB32);
    QPainter painter(&image);
    const RECTL bounds{0, 0, 20, 10};
    const int before = TProbe::Drawn;
    EXPECT_EQ(
        view.Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &painter, &bounds, nullptr, nullptr, 0),
        S_OK);
    EXPECT_EQ(TProbe::Drawn, before + 1);
    void* colours = &image;
    EXPECT_EQ(view.GetColorSet(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &colours), S_FALSE);
    EXPECT_EQ(colours, nullptr);
    DWORD key = 5;
    EXPECT_EQ(view.Freeze(DVASPECT_CONTENT, -1, nullptr, &key), S_OK);
    EXPECT_EQ(key, 0u);
    EXPECT_EQ(view.Unfreeze(0), S_OK);
    object->Release();
    EXPECT_EQ(sink.References, 1);
}

TEST(PersistStorage, InitNewLoadAndSaveAnswers)
{
    auto* object = new TQvOle(&TProbe::New);
    TQvPersistStorage& persist = object->PersistStorage();
    EXPECT_EQ(persist.IsDirty(), S_FALSE);
    EXPECT_EQ(persist.Load(nullptr), STG_E_INVALIDPOINTER);
    EXPECT_EQ(persist.Save(nullptr, false), STG_E_INVALIDPOINTER);
    IStorage* empty = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&empty), S_OK);
    EXPECT_EQ(persist.Load(empty), E_FAIL); // no "CONTENTS"

    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&storage), S_OK);
    ASSERT_EQ(persist.InitNew(storage), S_OK);
    EXPECT_EQ(persist.InitNew(empty), E_UNEXPECTED);
    EXPECT_EQ(persist.Load(empty), E_UNEXPECTED);
    CLSID clsid;
    ASSERT_EQ(ReadClassStg(storage, &clsid), S_OK);
    EXPECT_EQ(clsid, object->Hosted().GetClassID());
    CLIPFORMAT format = 0;
    std::string type;
    ASSERT_EQ(ReadFmtUserTypeStg(storage, &format, &type), S_OK);
    EXPECT_EQ(format, PrivateClipboardFormat());
    EXPECT_EQ(type, "Probe");

    ASSERT_EQ(persist.Save(storage, true), S_OK);
    EXPECT_EQ(persist.HandsOffStorage(), S_OK);
    EXPECT_EQ(ContentsOf(storage), std::vector<std::uint8_t>(TProbe::Data.begin(), TProbe::Data.end()));
    empty->Release();
    storage->Release();
    object->Release();
}

TEST(PersistStorage, SameAsLoadSaveOfShorterDataLeavesNoOldTail)
{
    auto* object = new TQvOle(&TProbe::New);
    TQvPersistStorage& persist = object->PersistStorage();
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&storage), S_OK);
    ASSERT_EQ(persist.InitNew(storage), S_OK);
    TProbe::Data = "a long first text";
    ASSERT_EQ(persist.Save(storage, true), S_OK);
    TProbe::Data = "short";
    ASSERT_EQ(persist.Save(storage, true), S_OK);
    persist.HandsOffStorage();
    EXPECT_EQ(ContentsOf(storage), std::vector<std::uint8_t>({'s', 'h', 'o', 'r', 't'}));
    TProbe::Data = "probe data";
    storage->Release();
    object->Release();
}

TEST(PersistStorage, DamagedDataIsRefusedAndTheStorageIsNotKept)
{
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&storage), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(ContentsStreamName, STGM_CREATE | STGM_READWRITE, 0, 0, &stream), S_OK);
    stream->Write("!", 1, nullptr);
    stream->Release();
    auto* object = new TQvOle(&TProbe::New);
    EXPECT_EQ(object->PersistStorage().Load(storage), STG_E_READFAULT);
    EXPECT_EQ(object->PersistStorage().Storage(), nullptr);
    object->Release();
    storage->Release();
}

TEST(PersistStorage, SaveCompletedHoldsTheNewStorage)
{
    auto* object = new TQvOle(&TProbe::New);
    TQvPersistStorage& persist = object->PersistStorage();
    IStorage* first = nullptr;
    IStorage* second = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&first), S_OK);
    ASSERT_EQ(StgCreateMemoryStorage(&second), S_OK);
    ASSERT_EQ(persist.InitNew(first), S_OK);
    EXPECT_EQ(persist.SaveCompleted(second), E_FAIL); // it has no "CONTENTS" yet
    ASSERT_EQ(OleSave(&persist, second, false), S_OK);
    EXPECT_EQ(persist.SaveCompleted(second), S_OK);
    EXPECT_EQ(persist.Storage(), second);
    EXPECT_EQ(persist.SaveCompleted(nullptr), S_OK);
    EXPECT_EQ(persist.Storage(), second);
    object->Release();
    first->Release();
    second->Release();
}

TEST(ClassFactory, MakesObjectsOfItsKindAndRefusesAggregation)
{
    auto* factory = new TClassFactory(&TProbe::New);
    void* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IOleObject, &object),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, &object), S_OK);
    auto* ole = static_cast<TQvOle*>(static_cast<IOleObject*>(object));
    EXPECT_EQ(ole->RefCount(), 1u);
    ole->Release();
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(TProbe::Alive, 0);
    EXPECT_EQ(factory->LockServer(true), E_FAIL);
    factory->Release();
}

TEST(ClassFactory, AKindThatRaisesGivesUnexpected)
{
    auto* factory = new TClassFactory(&Failing);
    void* object = &object;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, &object), E_UNEXPECTED);
    EXPECT_EQ(object, nullptr);
    factory->Release();
}

// ---- the data object ----

TEST(DataObject, EnumeratesItsThreeFormatsInOrder)
{
    auto* object = new TQvOle(&TProbe::New);
    IEnumFORMATETC* formats = nullptr;
    EXPECT_EQ(object->DataObject().EnumFormatEtc(DATADIR_SET, &formats), E_NOTIMPL);
    ASSERT_EQ(object->DataObject().EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    EXPECT_EQ(object->RefCount(), 2u); // the enumerator keeps the object alive
    FORMATETC got[4];
    ULONG fetched = 0;
    EXPECT_EQ(formats->Next(4, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(got[0].cfFormat, PrivateClipboardFormat());
    EXPECT_EQ(got[0].tymed, TYMED_HGLOBAL);
    EXPECT_EQ(got[1].cfFormat, EmbeddedObjectFormat());
    EXPECT_EQ(got[1].tymed, TYMED_ISTORAGE);
    EXPECT_EQ(got[2].cfFormat, ObjectDescriptorFormat());
    EXPECT_EQ(got[2].tymed, TYMED_HGLOBAL);
    for (const FORMATETC& f : got) {
        if (&f - got < 3) {
            EXPECT_EQ(f.dwAspect, DVASPECT_CONTENT);
            EXPECT_EQ(f.lindex, -1);
        }
    }
    EXPECT_EQ(formats->Reset(), S_OK);
    EXPECT_EQ(formats->Skip(2), S_OK);
    IEnumFORMATETC* clone = nullptr;
    ASSERT_EQ(formats->Clone(&clone), S_OK);
    EXPECT_EQ(formats->Skip(2), S_FALSE);
    EXPECT_EQ(formats->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(clone->Next(1, got, &fetched), S_OK); // the clone kept the position
    EXPECT_EQ(got[0].cfFormat, ObjectDescriptorFormat());
    clone->Release();
    formats->Release();
    EXPECT_EQ(object->RefCount(), 1u);
    object->Release();
}

struct FormatCase {
    const char* Name;
    int Format; // 0 private, 1 embedded object, 2 descriptor, 3 text
    DWORD Tymed;
    DWORD Aspect;
    HRESULT Expected;
};

class DataObjectFormatCheck : public ::testing::TestWithParam<FormatCase> { };

TEST_P(DataObjectFormatCheck, QueryGetDataAnswers)
{
    const FormatCase& c = GetParam();
    const CLIPFORMAT formats[] = {PrivateClipboardFormat(), EmbeddedObjectFormat(), ObjectDescriptorFormat(),
                                  CF_TEXT};
    auto* object = new TQvOle(&TProbe::New);
    FORMATETC format;
    format.cfFormat = formats[c.Format];
    format.tymed = c.Tymed;
    format.dwAspect = c.Aspect;
    EXPECT_EQ(object->DataObject().QueryGetData(&format), c.Expected);
    object->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DataObjectFormatCheck,
    ::testing::Values(FormatCase{"EmbeddedOnStorage", 1, TYMED_ISTORAGE, DVASPECT_CONTENT, S_OK},
                      FormatCase{"EmbeddedOnMemory", 1, TYMED_HGLOBAL, DVASPECT_CONTENT, DV_E_TYMED},
                      FormatCase{"EmbeddedAsIcon", 1, TYMED_ISTORAGE, DVASPECT_ICON, DV_E_DVASPECT},
                      FormatCase{"DescriptorOnMemory", 2, TYMED_HGLOBAL, DVASPECT_CONTENT, S_OK},
                      FormatCase{"DescriptorOnStorage", 2, TYMED_ISTORAGE, DVASPECT_CONTENT, DV_E_TYMED},
                      FormatCase{"DescriptorAsIcon", 2, TYMED_HGLOBAL, DVASPECT_ICON, DV_E_DVASPECT},
                      FormatCase{"PrivateFormat", 0, TYMED_HGLOBAL, DVASPECT_CONTENT, E_FAIL},
                      FormatCase{"Text", 3, TYMED_HGLOBAL, DVASPECT_CONTENT, E_FAIL}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.Name; });

TEST(DataObject, ObjectDescriptorHoldsClassAspectExtentAndStatus)
{
    auto* object = new TQvOle(&TProbe::New);
    FORMATETC format;
    format.cfFormat = ObjectDescriptorFormat();
    format.tymed = TYMED_HGLOBAL;
    STGMEDIUM medium;
    ASSERT_EQ(object->DataObject().GetData(&format, &medium), S_OK);
    ASSERT_EQ(medium.tymed, TYMED_HGLOBAL);
    const std::vector<std::uint8_t>& bytes = medium.hGlobal->Bytes;
    ASSERT_EQ(bytes.size(), 52u);
    auto int32 = [&](std::size_t at) {
        return static_cast<std::int32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                         bytes[at + 3] << 24);
    };
    EXPECT_EQ(int32(0), 52);
    EXPECT_EQ(GuidFromBytes(bytes.data() + 4), object->Hosted().GetClassID());
    EXPECT_EQ(int32(20), static_cast<std::int32_t>(DVASPECT_CONTENT));
    SIZEL extent;
    object->GetExtent(DVASPECT_CONTENT, &extent);
    EXPECT_EQ(int32(24), extent.cx);
    EXPECT_EQ(int32(28), extent.cy);
    EXPECT_EQ(int32(40), static_cast<std::int32_t>(OLEMISC_RENDERINGISDEVICEINDEPENDENT));
    EXPECT_EQ(int32(44), 0);
    EXPECT_EQ(int32(48), 0);
    ReleaseStgMedium(medium);

    format.cfFormat = EmbeddedObjectFormat();
    format.tymed = TYMED_ISTORAGE;
    EXPECT_EQ(object->DataObject().GetData(&format, &medium), E_UNEXPECTED);
    FORMATETC canonical;
    EXPECT_EQ(object->DataObject().GetCanonicalFormatEtc(&format, &canonical), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(canonical.cfFormat, format.cfFormat);
    EXPECT_EQ(object->DataObject().SetData(&format, &medium, false), E_NOTIMPL);
    EXPECT_EQ(object->DataObject().DUnadvise(1), E_FAIL);
    object->Release();
}

TEST(DataObject, GetDataHereSavesTheObjectIntoTheCallersStorage)
{
    auto* object = new TQvOle(&TProbe::New);
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&storage), S_OK);
    FORMATETC format;
    format.cfFormat = EmbeddedObjectFormat();
    format.tymed = TYMED_ISTORAGE;
    STGMEDIUM medium;
    medium.tymed = TYMED_ISTORAGE;
    medium.pstg = storage;
    ASSERT_EQ(object->DataObject().GetDataHere(&format, &medium), S_OK);
    EXPECT_EQ(object->PersistStorage().Storage(), nullptr); // saved, not taken over
    CLSID clsid;
    ASSERT_EQ(ReadClassStg(storage, &clsid), S_OK);
    EXPECT_EQ(clsid, object->Hosted().GetClassID());
    EXPECT_EQ(ContentsOf(storage), std::vector<std::uint8_t>(TProbe::Data.begin(), TProbe::Data.end()));
    storage->Release();
    object->Release();
}

} // namespace
