// COleControl: the base class of an ActiveX control that lives in an
// in-process server. It carries the OLE embedding, in-place activation
// (windowless or in a child window of its own), drawing, persistence through
// streams and property bags, class information, the connection point of the
// event dispinterface, and the dispatch interface driven by a DispTable.
//
// A control derives from it, calls InitializeIIDs and SetTypeLib in its
// constructor and supplies the pure hooks: GetClassID, GetDispatchTable,
// GetUserTypeNameID and GetMiscStatus. All interfaces share one reference
// count, kept by CComObject<Derived> (unknown.h): a control is only ever
// created as one, and a new object starts with one reference.
//
// Dispatch handlers receive the object as `self`, the COleControl* converted
// to void*: static_cast<Derived*>(static_cast<COleControl*>(self)).
//
// The hook GetMiscStatus() and IOleObject::GetMiscStatus(DWORD, DWORD*) share
// a name; a control overriding the hook adds `using fw::COleControl::GetMiscStatus;`
// so the COM method stays visible (and -Woverloaded-virtual stays quiet).
#ifndef QEL_FRAMEWORK_OLECONTROL_H
#define QEL_FRAMEWORK_OLECONTROL_H

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "comutil.h"
#include "dispatch.h"
#include "propexchange.h"
#include "unknown.h"
#include "window.h"

namespace fw {

// Behaviour switches a control returns from GetControlFlags.
//   fastBeginPaint     OnDraw covers the whole control: the control window
//                      skips erasing its background before painting.
//   clipPaintDC        OnDraw runs with the DC clipped to the control's bounds.
//   pointerInactive    for a control that answers IPointerInactive itself
//                      (the base does not); read by no code here.
//   noFlickerActivate  windowed activation goes through IOleInPlaceSiteEx, so
//                      the site can skip its redraw.
//   windowlessActivate in-place activation goes windowless when the site
//                      offers IOleInPlaceSiteWindowless and agrees.
//   canOptimizeDraw    when the container allows it (DVASPECTINFOFLAG_CANOPTIMIZE),
//                      IViewObject::Draw leaves the DC state to the container
//                      instead of saving and restoring it.
enum ControlFlags : DWORD {
    fastBeginPaint = 0x01,
    clipPaintDC = 0x02,
    pointerInactive = 0x04,
    noFlickerActivate = 0x08,
    windowlessActivate = 0x10,
    canOptimizeDraw = 0x20,
};

class COleControl : public IDispatch,
                    public IOleObject,
                    public IOleInPlaceObjectWindowless,
                    public IOleInPlaceActiveObject,
                    public IOleControl,
                    public IViewObject2,
                    public IPersistStreamInit,
                    public IPersistPropertyBag,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer {
public:
    COleControl();
    virtual ~COleControl();
    COleControl(const COleControl&) = delete;
    COleControl& operator=(const COleControl&) = delete;

    // IUnknown, supplied by CComObject<Derived>.
    FW_DECLARE_IUNKNOWN;
    void* FindInterface(REFIID riid);

    // IDispatch
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override;

    // IOleObject
    STDMETHOD(SetClientSite)(IOleClientSite* site) override;
    STDMETHOD(GetClientSite)(IOleClientSite** site) override;
    STDMETHOD(SetHostNames)(LPCOLESTR containerApp, LPCOLESTR containerObj) override;
    STDMETHOD(Close)(DWORD saveOption) override;
    STDMETHOD(SetMoniker)(DWORD whichMoniker, IMoniker* moniker) override;
    STDMETHOD(GetMoniker)(DWORD assign, DWORD whichMoniker, IMoniker** moniker) override;
    STDMETHOD(InitFromData)(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHOD(GetClipboardData)(DWORD reserved, IDataObject** data) override;
    STDMETHOD(DoVerb)(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                      LPCRECT posRect) override;
    STDMETHOD(EnumVerbs)(IEnumOLEVERB** verbs) override;
    STDMETHOD(Update)() override;
    STDMETHOD(IsUpToDate)() override;
    STDMETHOD(GetUserClassID)(CLSID* clsid) override;
    STDMETHOD(GetUserType)(DWORD formOfType, LPOLESTR* userType) override;
    STDMETHOD(SetExtent)(DWORD drawAspect, SIZEL* size) override;
    STDMETHOD(GetExtent)(DWORD drawAspect, SIZEL* size) override;
    STDMETHOD(Advise)(IAdviseSink* sink, DWORD* connection) override;
    STDMETHOD(Unadvise)(DWORD connection) override;
    STDMETHOD(EnumAdvise)(IEnumSTATDATA** advise) override;
    STDMETHOD(GetMiscStatus)(DWORD aspect, DWORD* status) override;
    STDMETHOD(SetColorScheme)(LOGPALETTE* palette) override;

    // IOleWindow (shared by IOleInPlaceObject and IOleInPlaceActiveObject)
    STDMETHOD(GetWindow)(HWND* hwnd) override;
    STDMETHOD(ContextSensitiveHelp)(BOOL enterMode) override;

    // IOleInPlaceObject, IOleInPlaceObjectWindowless
    STDMETHOD(InPlaceDeactivate)() override;
    STDMETHOD(UIDeactivate)() override;
    STDMETHOD(SetObjectRects)(LPCRECT posRect, LPCRECT clipRect) override;
    STDMETHOD(ReactivateAndUndo)() override;
    STDMETHOD(OnWindowMessage)(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    STDMETHOD(GetDropTarget)(IDropTarget** target) override;

    // IOleInPlaceActiveObject
    STDMETHOD(TranslateAccelerator)(LPMSG msg) override;
    STDMETHOD(OnFrameWindowActivate)(BOOL activate) override;
    STDMETHOD(OnDocWindowActivate)(BOOL activate) override;
    STDMETHOD(ResizeBorder)(LPCRECT border, IOleInPlaceUIWindow* uiWindow, BOOL frameWindow) override;
    STDMETHOD(EnableModeless)(BOOL enable) override;

    // IOleControl
    STDMETHOD(GetControlInfo)(CONTROLINFO* info) override;
    STDMETHOD(OnMnemonic)(MSG* msg) override;
    STDMETHOD(OnAmbientPropertyChange)(DISPID id) override;
    STDMETHOD(FreezeEvents)(BOOL freeze) override;

    // IViewObject, IViewObject2
    STDMETHOD(Draw)(DWORD drawAspect, LONG index, void* aspect, DVTARGETDEVICE* targetDevice, HDC targetDC,
                    HDC drawDC, LPCRECTL bounds, LPCRECTL wBounds,
                    BOOL(STDMETHODCALLTYPE* continueFn)(ULONG_PTR), ULONG_PTR continueArg) override;
    STDMETHOD(GetColorSet)(DWORD drawAspect, LONG index, void* aspect, DVTARGETDEVICE* targetDevice,
                           HDC targetIC, LOGPALETTE** colorSet) override;
    STDMETHOD(Freeze)(DWORD drawAspect, LONG index, void* aspect, DWORD* freeze) override;
    STDMETHOD(Unfreeze)(DWORD freeze) override;
    STDMETHOD(SetAdvise)(DWORD aspects, DWORD advf, IAdviseSink* sink) override;
    STDMETHOD(GetAdvise)(DWORD* aspects, DWORD* advf, IAdviseSink** sink) override;
    STDMETHOD(GetExtent)(DWORD drawAspect, LONG index, DVTARGETDEVICE* targetDevice, LPSIZEL size) override;

    // IPersist (shared by both persistence interfaces): the control's CLSID.
    STDMETHOD(GetClassID)(CLSID* clsid) override = 0;

    // IPersistStreamInit
    STDMETHOD(IsDirty)() override;
    STDMETHOD(Load)(LPSTREAM stream) override;
    STDMETHOD(Save)(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* size) override;
    STDMETHOD(InitNew)() override;  // also IPersistPropertyBag::InitNew

    // IPersistPropertyBag
    STDMETHOD(Load)(IPropertyBag* bag, IErrorLog* errorLog) override;
    STDMETHOD(Save)(IPropertyBag* bag, BOOL clearDirty, BOOL saveAllProperties) override;

    // IProvideClassInfo, IProvideClassInfo2
    STDMETHOD(GetClassInfo)(ITypeInfo** info) override;
    STDMETHOD(GetGUID)(DWORD guidKind, GUID* guid) override;

    // IConnectionPointContainer
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** points) override;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** point) override;

protected:
    // Setup, from the derived constructor.
    void InitializeIIDs(const IID* dispatchIid, const IID* eventIid);
    void SetTypeLib(const GUID& libid, WORD major, WORD minor);
    // Size in pixels that OnResetState gives the control (100 x 50 unless set).
    void SetInitialSize(int cx, int cy);

    // Hooks.
    virtual const DispTable& GetDispatchTable() const = 0;
    // Base: version 0 when the control did not exchange one, then the extent
    // (HIMETRIC; "_ExtentX", "_ExtentY").
    virtual void DoPropExchange(CPropExchange* px);
    // Base: the extent back to the initial size. Called by InitNew and after
    // a failed load.
    virtual void OnResetState();
    // bounds: the control's rectangle on dc; invalid: the part to repaint.
    virtual void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid);
    virtual DWORD GetControlFlags();
    // String table id of the user type name, in CModule::Instance() (the
    // executable when the module has no instance).
    virtual UINT GetUserTypeNameID() = 0;
    // OLEMISC_* bits for DVASPECT_CONTENT.
    virtual DWORD GetMiscStatus() = 0;

    // State, for the derived control.
    IOleClientSite* ClientSite() const { return m_site.Get(); }
    bool IsInPlaceActive() const { return m_inPlaceActive; }
    bool IsUIActive() const { return m_uiActive; }
    bool IsWindowless() const { return m_inPlaceActive && m_windowless; }
    HWND ControlWindow() const { return m_window.m_hWnd; }
    // Position in the container's window while in-place active.
    const RECT& PositionRect() const { return m_posRect; }
    SIZEL Extent() const { return m_extent; }
    bool AreEventsFrozen() const { return m_freezeCount > 0; }
    const std::wstring& ContainerAppName() const { return m_containerApp; }
    const std::wstring& ContainerObjectName() const { return m_containerObj; }
    const std::vector<PALETTEENTRY>& ColorScheme() const { return m_colorScheme; }
    bool IsModified() const { return m_dirty; }
    void SetModifiedFlag(bool modified = true) { m_dirty = modified; }
    // Repaints rect (control-relative; null: all of it) where the control is
    // shown and tells the view advise sink that the view changed.
    void InvalidateControl(const RECT* rect = nullptr);

private:
    // The connection point of the event dispinterface. It lives inside the
    // control and counts its references on it.
    class CConnectionPoint : public IConnectionPoint {
    public:
        explicit CConnectionPoint(COleControl& owner) : m_owner(owner) {}
        CConnectionPoint(const CConnectionPoint&) = delete;
        CConnectionPoint& operator=(const CConnectionPoint&) = delete;

        STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
        STDMETHOD_(ULONG, AddRef)() override;
        STDMETHOD_(ULONG, Release)() override;
        STDMETHOD(GetConnectionInterface)(IID* iid) override;
        STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** container) override;
        STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) override;
        STDMETHOD(Unadvise)(DWORD cookie) override;
        STDMETHOD(EnumConnections)(IEnumConnections** connections) override;

    private:
        struct Sink {
            DWORD cookie;
            CComPtr<IUnknown> sink;
        };
        COleControl& m_owner;
        std::vector<Sink> m_sinks;
        DWORD m_nextCookie = 1;
    };

    // The control's own window in windowed activation: paints through
    // OnDraw and makes the control UI-active when clicked.
    class CControlWindow : public CWindowImpl {
    public:
        explicit CControlWindow(COleControl& owner) : m_owner(owner) {}

    protected:
        const MsgTable& GetMessageTable() const override;

    private:
        LRESULT OnPaint(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
        LRESULT OnEraseBackground(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
        LRESULT OnMouseActivate(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);

        COleControl& m_owner;
    };

    // Keeps the object alive across calls out to its site.
    class CHold {
    public:
        explicit CHold(COleControl* p) : m_p(p) { m_p->AddRef(); }
        ~CHold() { m_p->Release(); }
        CHold(const CHold&) = delete;
        CHold& operator=(const CHold&) = delete;

    private:
        COleControl* m_p;
    };

    HRESULT ActivateInPlace();
    HRESULT ActivateUI();
    HRESULT LoadFrom(CPropExchange& px);
    HRESULT SaveTo(CPropExchange& px, BOOL clearDirty);
    HRESULT LoadTypeLibrary(LCID lcid, ITypeLib** lib);
    // Runs f(clsid) with the control's class id, or fails as GetClassID does.
    template <class F>
    HRESULT WithClassID(F&& f);
    // The OLE advise holder, created on first use; *holder is not AddRef'ed.
    HRESULT AdviseHolder(IOleAdviseHolder** holder);
    bool CreateControlWindow(HWND parent);
    void DestroyControlWindow();
    void ApplyClipRegion();
    void DrawContent(HDC dc, const RECT& bounds, const RECT& invalid, bool keepState);
    void SendViewChange();
    SIZEL InitialExtent() const;

    const IID* m_dispatchIid = nullptr;
    const IID* m_eventIid = nullptr;
    GUID m_libid = GUID_NULL;
    WORD m_libMajor = 0;
    WORD m_libMinor = 0;
    CComPtr<ITypeLib> m_typeLib;

    CComPtr<IOleClientSite> m_site;
    CComPtr<IOleAdviseHolder> m_adviseHolder;
    CComPtr<IAdviseSink> m_viewSink;
    DWORD m_viewAspects = 0;
    DWORD m_viewAdvf = 0;
    std::wstring m_containerApp;
    std::wstring m_containerObj;
    std::vector<PALETTEENTRY> m_colorScheme;

    // In-place state.
    CComPtr<IOleInPlaceSite> m_inPlaceSite;
    CComPtr<IOleInPlaceSiteEx> m_inPlaceSiteEx;  // set when activated through it
    CComPtr<IOleInPlaceSiteWindowless> m_windowlessSite;  // set while windowless
    CComPtr<IOleInPlaceFrame> m_frame;
    CComPtr<IOleInPlaceUIWindow> m_uiWindow;
    bool m_inPlaceActive = false;
    bool m_uiActive = false;
    bool m_windowless = false;
    CControlWindow m_window{*this};
    RECT m_posRect = {0, 0, 0, 0};
    RECT m_clipRect = {0, 0, 0, 0};

    SIZE m_initialSize = {100, 50};
    SIZEL m_extent = {0, 0};
    bool m_dirty = false;
    LONG m_freezeCount = 0;

    CConnectionPoint m_connectionPoint;
};

// A CreateInstanceFn for a control class T: a new CComObject<T>, the
// requested interface of it, or the error with *ppv null.
template <class T>
HRESULT CreateControlInstance(REFIID riid, void** ppv)
{
    return CreateComObject<T>(riid, ppv);
}

}  // namespace fw

#endif
