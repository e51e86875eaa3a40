#include "accessible_box.h"

#include <oleacc.h>

#include <new>
#include <string>

#include "window_rules.h"

namespace portauth::win32 {
namespace {

// COM and the accessibility library load with the first question of an
// accessibility client, not with every start of the program.
struct Oleacc {
    decltype(&CreateStdAccessibleObject) createStandardObject;
    decltype(&LresultFromObject) resultFromObject;
    decltype(&SysAllocStringLen) allocString;
    bool ready;
};

template <class Function>
Function Find(const wchar_t* library, const char* name)
{
    HMODULE module = LoadLibraryW(library);
    // Through void (*)(), the type that stands for any function.
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

// The answer travels through COM, which the window's thread joins once, as
// a single-threaded apartment, or finds joined already.
bool JoinCom()
{
    const auto initialize = Find<decltype(&CoInitializeEx)>(L"ole32.dll", "CoInitializeEx");
    const HRESULT joined = initialize ? initialize(nullptr, COINIT_APARTMENTTHREADED) : E_FAIL;
    return SUCCEEDED(joined) || joined == RPC_E_CHANGED_MODE;
}

const Oleacc& LoadOleacc()
{
    static const Oleacc oleacc = [] {
        Oleacc loaded{Find<decltype(&CreateStdAccessibleObject)>(L"oleacc.dll", "CreateStdAccessibleObject"),
                      Find<decltype(&LresultFromObject)>(L"oleacc.dll", "LresultFromObject"),
                      Find<decltype(&SysAllocStringLen)>(L"oleaut32.dll", "SysAllocStringLen"), false};
        loaded.ready = loaded.createStandardObject && loaded.resultFromObject && loaded.allocString && JoinCom();
        return loaded;
    }();
    return oleacc;
}

bool IsSelf(const VARIANT& child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The system's object for the box, but for what it says of the box itself.
// Late binding through IDispatch is not offered: it would bypass the names.
class NamedBox final : public IAccessible {
public:
    NamedBox(IAccessible* standard, ui::ControlId id, const Oleacc& oleacc) noexcept
        : standard_(standard), id_(id), oleacc_(oleacc)
    {
    }
    ~NamedBox() { standard_->Release(); }
    NamedBox(const NamedBox&) = delete;
    NamedBox& operator=(const NamedBox&) = delete;

    // Any other interface, such as IOleWindow, is the system object's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (iid != __uuidof(IUnknown) && iid != __uuidof(IDispatch) && iid != __uuidof(IAccessible))
            return standard_->QueryInterface(iid, object);
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        return IsSelf(child) ? spoken(ui::AccessibleName(id_), name) : standard_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override
    {
        return IsSelf(child) ? spoken(ui::AccessibleDescription(id_), description)
                             : standard_->get_accDescription(child, description);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return standard_->get_accChild(child, object);
    }
    // The system's object reads no password out of a box whose characters
    // show as '*'.
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        return standard_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        return standard_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        return standard_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override
    {
        return standard_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override
    {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override
    {
        return standard_->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return standard_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override
    {
        return standard_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG how, VARIANT child) override { return standard_->accSelect(how, child); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override
    {
        return standard_->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override
    {
        return standard_->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override
    {
        return standard_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return standard_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override
    {
        return standard_->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return standard_->put_accValue(child, value);
    }

private:
    HRESULT spoken(std::u16string_view text, BSTR* out) const
    {
        *out = text.empty() ? nullptr : oleacc_.allocString(Wide(text), static_cast<UINT>(text.size()));
        if (text.empty())
            return S_FALSE;
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    LONG references_ = 1;
    IAccessible* standard_;
    ui::ControlId id_;
    const Oleacc& oleacc_;
};

} // namespace

LRESULT AccessibleBox(HWND box, ui::ControlId id, WPARAM flags, LPARAM objectId)
{
    if (static_cast<DWORD>(objectId) != static_cast<DWORD>(OBJID_CLIENT))
        return 0;
    const Oleacc& oleacc = LoadOleacc();
    IAccessible* standard = nullptr;
    if (!oleacc.ready
        || FAILED(oleacc.createStandardObject(box, OBJID_CLIENT, __uuidof(IAccessible),
                                              reinterpret_cast<void**>(&standard))))
        return 0;
    auto* named = new (std::nothrow) NamedBox(standard, id, oleacc);
    if (!named) {
        standard->Release();
        return 0;
    }
    const LRESULT answer = oleacc.resultFromObject(__uuidof(IAccessible), flags, named);
    named->Release();
    // A failure is a negative HRESULT; the system's own object is better than none.
    return answer > 0 ? answer : 0;
}

} // namespace portauth::win32
