#include "control/ui/property_frame.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "control/ui/hooks.h"
#include "platform/com/activation.h"
#include "platform/com/unknown.h"

namespace ravlin::ui {

using namespace win;

namespace {

// The site each page reports to; it outlives nothing of the frame (Detach cuts it off).
class FrameSite final : public Unknown<IPropertyPageSite> {
 public:
  FrameSite(std::function<void()> changed, LCID lcid) : changed_(std::move(changed)), lcid_(lcid) {}

  HRESULT OnStatusChange(DWORD) override {
    if (changed_) changed_();
    return S_OK;
  }
  HRESULT GetLocaleID(LCID* pLocaleID) override {
    if (!pLocaleID) return E_POINTER;
    *pLocaleID = lcid_;
    return S_OK;
  }
  HRESULT GetPageContainer(IUnknown** ppUnk) override {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
  }
  HRESULT TranslateAccelerator(MSG*) override { return E_NOTIMPL; }
  void Detach() { changed_ = {}; }

 private:
  IUnknown* FindInterface(REFIID riid) override {
    return riid == IID_IPropertyPageSite ? static_cast<IPropertyPageSite*>(this) : nullptr;
  }
  std::function<void()> changed_;
  LCID lcid_;
};

class PropertyFrame final : public QDialog {
 public:
  PropertyFrame(QWidget* owner, const QString& caption) : QDialog(owner) {
    setObjectName(QStringLiteral("PropertyFrame"));
    setWindowTitle(caption + QStringLiteral("のプロパティ"));
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabs"));
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    apply_ = new QPushButton(QStringLiteral("適用(&A)"), this);
    apply_->setObjectName(QStringLiteral("apply"));
    apply_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addWidget(apply_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, [this] {
      ApplyDirtyPages();
      accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] {
      ApplyDirtyPages();
      UpdateApply();
    });
  }
  ~PropertyFrame() override { ReleasePages(); }

  HRESULT AddPages(std::span<IUnknown* const> objects, std::span<IPropertyPage* const> pages,
                   LCID lcid) {
    std::vector<IUnknown*> objectList(objects.begin(), objects.end());
    for (IPropertyPage* page : pages) {
      if (!page) return E_POINTER;
      auto site = MakeObject<FrameSite>([this] { UpdateApply(); }, lcid);
      pages_.push_back({ComPtr<IPropertyPage>(page), site, false});
      page->SetPageSite(site.get());
      HRESULT hr = page->SetObjects(static_cast<ULONG>(objectList.size()), objectList.data());
      if (FAILED(hr)) return hr;
      PROPPAGEINFO info{};
      hr = page->GetPageInfo(&info);
      if (FAILED(hr)) return hr;
      const QString title = info.pszTitle ? QString::fromUtf16(info.pszTitle) : QString();
      const QSize size(info.size.cx, info.size.cy);
      FreePropPageInfo(&info);
      auto* holder = new QWidget;
      holder->setObjectName(QStringLiteral("tab%1").arg(tabs_->count()));
      holder->setMinimumSize(size);
      tabs_->addTab(holder, title);
      RECT rect{0, 0, size.width(), size.height()};
      hr = page->Activate(holder, &rect, TRUE);
      if (FAILED(hr)) return hr;
      pages_.back().active = true;
      page->Show(SW_SHOW);
    }
    UpdateApply();
    return S_OK;
  }

  void ReleasePages() {
    for (auto& p : pages_) {
      if (p.active) p.page->Deactivate();
      p.page->SetObjects(0, nullptr);
      p.page->SetPageSite(nullptr);
      p.site->Detach();
    }
    pages_.clear();
  }

 private:
  struct frame_page {
    ComPtr<IPropertyPage> page;
    ComPtr<FrameSite> site;
    bool active;
  };

  void UpdateApply() {
    bool dirty = false;
    for (auto& p : pages_) dirty = dirty || p.page->IsPageDirty() == S_OK;
    apply_->setEnabled(dirty);
  }

  void ApplyDirtyPages() {
    // A page's Apply may show a box and run events: work on a copy of the list.
    std::vector<ComPtr<IPropertyPage>> dirty;
    for (auto& p : pages_)
      if (p.page->IsPageDirty() == S_OK) dirty.push_back(p.page);
    for (auto& page : dirty) page->Apply();
  }

  QTabWidget* tabs_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* apply_;
  std::vector<frame_page> pages_;
};

}  // namespace

HRESULT ShowPropertyFrame(QWidget* owner, const QString& caption,
                          std::span<IUnknown* const> objects, std::span<IPropertyPage* const> pages,
                          LCID lcid) {
  if (!owner) owner = QApplication::activeWindow();
  PropertyFrame frame(owner, caption);
  HRESULT hr = frame.AddPages(objects, pages, lcid);
  if (FAILED(hr)) return hr;
  RunModal(frame);
  frame.ReleasePages();
  return S_OK;
}

HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption,
                               ULONG cObjects, IUnknown** ppUnk, ULONG cPages,
                               const CLSID* pPageClsID, LCID lcid, DWORD, void*) {
  if ((cObjects && !ppUnk) || (cPages && !pPageClsID)) return E_INVALIDARG;
  std::vector<ComPtr<IPropertyPage>> made;
  std::vector<IPropertyPage*> pages;
  for (ULONG i = 0; i < cPages; ++i) {
    ComPtr<IPropertyPage> page;
    HRESULT hr = CoCreateInstance(pPageClsID[i], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                  page.ReceiveVoid());
    if (FAILED(hr)) return hr;
    pages.push_back(page.get());
    made.push_back(std::move(page));
  }
  auto* owner = static_cast<QWidget*>(hwndOwner);
  if (!owner) owner = QApplication::activeWindow();
  PropertyFrame frame(owner, lpszCaption ? QString::fromUtf16(lpszCaption) : QString());
  if (owner && (x || y))
    frame.move(owner->mapToGlobal(QPoint(static_cast<int>(x), static_cast<int>(y))));
  HRESULT hr = frame.AddPages(std::span<IUnknown* const>(ppUnk, ppUnk ? cObjects : 0), pages, lcid);
  if (FAILED(hr)) return hr;
  RunModal(frame);
  frame.ReleasePages();
  return S_OK;
}

}  // namespace ravlin::ui
