#include "ui/qt/CConfiguratorDlg.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "app/config_block.h"
#include "ui/qt/AppIcon.h"
#include "ui/qt/ByteLimitValidator.h"
#include "ui/qt/GuiThread.h"

namespace qtui {
namespace {

// The template's texts, as the board's users have always read them.
constexpr const char* kExitText = "Exit";
constexpr const char* kConnectText = "Connect, Program, and Disconnect";
constexpr const char* kProgrammingText = "Programming";
constexpr const char* kIpLabel = "IP Address:";
constexpr const char* kMacLabel = "Server MAC Address:";
constexpr const char* kNicknameLabel = "Nickname:";
constexpr const char* kIpHint = "The IP Address is the address you wish to assign to the board.";
constexpr const char* kMacAnyHint =
    "The Server MAC Address may be left as FF-FF-FF-FF-FF-FF which will allow the board to "
    "communicate with any computer.";
constexpr const char* kNicknameHint =
    "The Nickname helps you identify which board you are communicating with.  This name is "
    "stored in the XML and if it changes, the plugin will let you know that you are talking to "
    "a board with a different nickname than before.";
constexpr const char* kJumperHint =
    "Attach a shorting jumper to the BOOTP jumper on the board to force the BOOTP mode of "
    "operation.  That will enable this utility to communicate with the board.";
constexpr const char* kSubnetHint =
    "The IP address that you assign must be on the same subnet as the IP address of the "
    "Ethernet adapter that you are using.";
constexpr const char* kLockHint =
    "If you wish to lock the board to a specific computer, enter the MAC address of the "
    "Ethernet adapter that you wish to lock it to.";
constexpr const char* kOtherAdaptersHint =
    "Then the board will not work with any other adapters (though it will still respond to "
    "this utility when operating in BOOTP mode).";

// Beyond the template.
constexpr const char* kHelpText = "Help";
constexpr const char* kShowLogText = "Show log";
constexpr const char* kReadyText = "Ready";
constexpr const char* kStartingText = "Starting the job";
constexpr const char* kCancellingText = "Cancelling the job";

constexpr int kLeftHintWidth = 270;
constexpr int kRightHintWidth = 250;
constexpr int kFieldWidth = 210;
constexpr int kColumnGap = 36;
constexpr int kSectionGap = 8;
constexpr int kLogViewHeight = 220;
constexpr int kExitPollMs = 20;

QLabel* FieldLabel(const char* text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLineEdit* Field(const char* text, std::size_t limit, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setMaxLength(static_cast<int>(limit));
    edit->setValidator(new ByteLimitValidator(static_cast<int>(limit), edit));
    edit->setMinimumWidth(kFieldWidth);
    return edit;
}

}  // namespace

CConfiguratorDlg::CConfiguratorDlg(QtUiPort& port, diag::CLog& log)
    : port_(port),
      exit_(new QPushButton(kExitText, this)),
      mac_(Field(app::kDefaultMacText, app::kMacTextLimit, this)),
      connect_(new QPushButton(kConnectText, this)),
      nickname_(Field(app::kDefaultNicknameText, app::kNicknameTextLimit, this)),
      ip_(Field(app::kDefaultIpText, app::kIpTextLimit, this)),
      programming_(new QCheckBox(kProgrammingText, this)),
      help_(new QPushButton(kHelpText, this)),
      showLog_(new QCheckBox(kShowLogText, this)),
      status_(new QLabel(kReadyText, this)),
      log_(new LogView(log, this)) {
    setWindowTitle(kCaption);
    setWindowIcon(AppIcon());
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);

    exit_->setDefault(true);
    programming_->setChecked(false);
    status_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    status_->setTextFormat(Qt::PlainText);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    log_->setMinimumHeight(kLogViewHeight);
    log_->hide();

    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(showLog_);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(TemplateLayout());
    outer->addLayout(statusRow);
    outer->addWidget(log_);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    SetTabOrder();
    exit_->setFocus();  // the template's first tab stop

    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
    connect(connect_, &QPushButton::clicked, this, &CConfiguratorDlg::OnConnect);
    connect(help_, &QPushButton::clicked, this, &CConfiguratorDlg::OnAbout);
    connect(showLog_, &QCheckBox::toggled, this, &CConfiguratorDlg::OnShowLog);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            &CConfiguratorDlg::OnAbout);

    port_.SetOwner(this);
    port_.SetStageHandler([this](const diag::JobStage& stage) { OnStage(stage); });
}

CConfiguratorDlg::~CConfiguratorDlg() {
    EndJobBeforeExit();
    port_.SetStageHandler(nullptr);
    port_.SetOwner(nullptr);
}

QLabel* CConfiguratorDlg::Hint(const char* text, int minimumWidth) {
    auto* hint = new QLabel(text, this);
    hint->setWordWrap(true);
    hint->setMinimumWidth(minimumWidth);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return hint;
}

// As the template has it: the jumper and subnet hints above the three fields, the
// button with "Programming" centred under it on the left; the field hints on the
// right; "Exit" at the top right corner. Each column keeps its spare height below.
QLayout* CConfiguratorDlg::TemplateLayout() {
    auto* fields = new QGridLayout;
    fields->addWidget(FieldLabel(kIpLabel, this), 0, 0);
    fields->addWidget(ip_, 0, 1);
    fields->addWidget(FieldLabel(kMacLabel, this), 1, 0);
    fields->addWidget(mac_, 1, 1);
    fields->addWidget(FieldLabel(kNicknameLabel, this), 2, 0);
    fields->addWidget(nickname_, 2, 1);

    auto* underButton = new QVBoxLayout;
    underButton->addWidget(connect_);
    underButton->addWidget(programming_, 0, Qt::AlignHCenter);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addLayout(underButton);
    buttonRow->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(Hint(kJumperHint, kLeftHintWidth));
    left->addWidget(Hint(kSubnetHint, kLeftHintWidth));
    left->addSpacing(kSectionGap);
    left->addLayout(fields);
    left->addSpacing(kSectionGap);
    left->addLayout(buttonRow);
    left->addStretch(1);

    auto* right = new QVBoxLayout;
    for (const char* text : {kIpHint, kMacAnyHint, kLockHint, kOtherAdaptersHint, kNicknameHint})
        right->addWidget(Hint(text, kRightHintWidth));
    right->addStretch(1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(exit_);
    buttons->addWidget(help_);
    buttons->addStretch(1);

    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addSpacing(kColumnGap);
    columns->addLayout(right);
    columns->addLayout(buttons);
    return columns;
}

// The template's order (Exit, MAC address, the button, nickname, IP address,
// Programming), then what lies beyond it.
void CConfiguratorDlg::SetTabOrder() {
    QWidget* order[] = {exit_, mac_, connect_, nickname_, ip_, programming_, help_, showLog_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void CConfiguratorDlg::SetInputEnabled(bool enabled) {
    for (QWidget* input :
         {static_cast<QWidget*>(ip_), static_cast<QWidget*>(mac_), static_cast<QWidget*>(nickname_),
          static_cast<QWidget*>(connect_), static_cast<QWidget*>(programming_)})
        input->setEnabled(enabled);
}

void CConfiguratorDlg::OnConnect() {
    if (IsJobRunning()) return;
    programming_->setChecked(true);
    SetInputEnabled(false);
    exit_->setFocus();  // the focused button is disabled now
    stages_.clear();
    status_->setText(kStartingText);
    const app::JobFields fields{ip_->text().toStdString(), mac_->text().toStdString(),
                                nickname_->text().toStdString()};
    app::JobOptions options = options_;
    cancel_ = false;
    options.cancel = &cancel_;
    worker_ = std::thread([this, fields, options] {
        const app::JobReport report = app::RunProgrammingJob(fields, options);
        Post(this, [this, report] { OnJobEnded(report); });
    });
}

void CConfiguratorDlg::OnStage(const diag::JobStage& stage) {
    stages_.push_back(stage);
    status_->setText(QString::fromStdString(stage.text));
    status_->setToolTip(QString::fromStdString(stage.text));
    // Before the outcome's message box, as the job has always done it.
    if (stage.kind == diag::JobStageKind::kOutcome) programming_->setChecked(false);
}

void CConfiguratorDlg::OnJobEnded(const app::JobReport& report) {
    if (worker_.joinable()) worker_.join();
    lastReport_ = report;
    programming_->setChecked(false);
    SetInputEnabled(true);
    if (cancelQuestion_) delete cancelQuestion_.data();  // nothing left to cancel
    if (closeAfterJob_) {
        closeAfterJob_ = false;
        QDialog::done(QDialog::Rejected);
    }
}

void CConfiguratorDlg::done(int result) {
    if (IsJobRunning()) {
        AskToCancel();
        return;
    }
    QDialog::done(result);
}

void CConfiguratorDlg::AskToCancel() {
    if (cancel_) return;  // already asked and answered: the job is ending
    if (cancelQuestion_) {
        cancelQuestion_->raise();
        return;
    }
    auto* question = new QMessageBox(QMessageBox::Question, kCaption, kCancelQuestion,
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setDefaultButton(QMessageBox::No);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::buttonClicked, this, [this, question](QAbstractButton* b) {
        if (question->standardButton(b) != QMessageBox::Yes || !IsJobRunning()) return;
        cancel_ = true;
        closeAfterJob_ = true;
        status_->setText(kCancellingText);
    });
    cancelQuestion_ = question;
    question->open();
}

void CConfiguratorDlg::OnAbout() {
    if (about_) {
        about_->raise();
        return;
    }
    about_ = new CAboutBox(this);
    about_->setAttribute(Qt::WA_DeleteOnClose);
    about_->open();
}

void CConfiguratorDlg::OnShowLog(bool shown) {
    log_->setVisible(shown);
    // Once the view has its size, so the last line is really in sight.
    if (shown) QTimer::singleShot(0, log_, &LogView::ShowLatest);
}

void CConfiguratorDlg::EndJobBeforeExit() {
    if (!IsJobRunning()) return;
    cancel_ = true;
    closeAfterJob_ = false;
    port_.Shutdown();  // the job's questions get their answers at once
    while (IsJobRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kExitPollMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(kExitPollMs));
    }
}

}  // namespace qtui
