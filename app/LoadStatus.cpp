#include "app/LoadStatus.h"

#include "app/ActivationComponent.h"
#include "app/DialogFont.h"

#include "ui_LoadStatus.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <cmath>

namespace {

Qt::WindowFlags windowFlagsFor(const QWidget* owner)
{
    // A fixed dialog frame: a caption and a close box, no minimise or
    // maximise button.
    const Qt::WindowFlags frame = Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    return (owner ? Qt::Dialog : Qt::Tool) | frame;
}

} // namespace

LoadStatus::LoadStatus(QWidget* owner)
    : QDialog(owner, windowFlagsFor(owner))
    , m_ui(std::make_unique<Ui::LoadStatus>())
{
    installDialogFontSubstitutes();
    m_ui->setupUi(this);
    setFixedSize(size());
    setSizeGripEnabled(false);
    setModal(false);
    Form_Load();
}

LoadStatus::~LoadStatus() = default;

void LoadStatus::Form_Load() { m_ui->LoadProgress->setValue(0); }

void LoadStatus::Form_Activate() { ActivationComponent::instance().activate(winId(), -1); }

bool LoadStatus::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QDialog::event(event);
}

void LoadStatus::setStatus(const QString& text) { m_ui->Label2->setText(text); }

QString LoadStatus::status() const { return m_ui->Label2->text(); }

void LoadStatus::setValue(float percent)
{
    const float clamped = std::isnan(percent) ? 0.0f : std::clamp(percent, 0.0f, 100.0f);
    m_ui->LoadProgress->setValue(static_cast<int>(std::lround(clamped)));
}

int LoadStatus::value() const { return m_ui->LoadProgress->value(); }

void LoadStatus::refresh()
{
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
