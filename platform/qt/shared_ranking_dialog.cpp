#include "platform/qt/shared_ranking_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/session.h"
#include "online/shared_ranking.h"
#include "platform/qt/dialogs.h"
#include "platform/qt/host.h"
#include "platform/qt/main_window.h"

namespace tavro_qt {
namespace {

QPointer<SharedRankingDialog> dialog;

QTableWidgetItem* Cell(const QString& text, Qt::Alignment alignment) {
  auto* item = new QTableWidgetItem(text);
  item->setTextAlignment(alignment | Qt::AlignVCenter);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

QTableWidget* MakeTable(QWidget* parent) {
  auto* table = new QTableWidget(0, 4, parent);
  QStringList titles;
  for (const char* title : kSharedColumnTitles) titles << QString::fromUtf8(title);
  table->setHorizontalHeaderLabels(titles);
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table->setWordWrap(false);
  QHeaderView* header = table->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::ResizeToContents);
  header->setSectionResizeMode(1, QHeaderView::Stretch);
  header->setHighlightSections(false);
  // Rows as tall as the text needs, and room for the ten of them.
  const int rowHeight = table->fontMetrics().height() + 8;
  table->verticalHeader()->setMinimumSectionSize(rowHeight);
  table->verticalHeader()->setDefaultSectionSize(rowHeight);
  table->setFixedHeight(header->sizeHint().height() + kSharedRankingRows * rowHeight +
                        2 * table->frameWidth());
  table->setMinimumWidth(table->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 30);
  return table;
}

void FillTable(QTableWidget* table, const SharedRankingTable& data) {
  // The selection stays on the same place when the rows come again.
  const int selected = table->currentRow();
  table->setRowCount(data.count);
  for (int r = 0; r < data.count; r++) {
    const SharedRankingRow& row = data.rows[r];
    table->setItem(r, 0, Cell(QString::number(row.place), Qt::AlignRight));
    table->setItem(r, 1, Cell(QString::fromStdString(row.name), Qt::AlignLeft));
    table->setItem(r, 2, Cell(QString::number(row.score), Qt::AlignRight));
    table->setItem(r, 3, Cell(QString::number(row.level + 1), Qt::AlignRight));
  }
  if (selected >= 0 && selected < data.count) table->selectRow(selected);
}

}  // namespace

SharedRankingDialog::SharedRankingDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8(kSharedRankingCaption));
  setFont(DialogFont());
  setModal(false);
  setWindowModality(Qt::NonModal);

  auto* layout = new QVBoxLayout(this);
  enable_ = new QCheckBox(QString::fromUtf8(kOnlineEnableLabel), this);
  layout->addWidget(enable_);
  // What joining means, read before the box is ticked.
  auto* disclosure = new QLabel(QString::fromUtf8(kOnlineDisclosure), this);
  disclosure->setWordWrap(true);
  disclosure->setContentsMargins(20, 0, 0, 0);
  layout->addWidget(disclosure);

  auto* serverRow = new QHBoxLayout();
  auto* serverLabel = new QLabel(QString::fromUtf8(kOnlineServerLabel), this);
  server_ = new QLineEdit(this);
  server_->setPlaceholderText(QStringLiteral("http://"));
  serverLabel->setBuddy(server_);
  serverRow->addWidget(serverLabel);
  serverRow->addWidget(server_, 1);
  layout->addLayout(serverRow);
  autoSend_ = new QCheckBox(QString::fromUtf8(kOnlineAutoSendLabel), this);
  layout->addWidget(autoSend_);

  tabs_ = new QTabWidget(this);
  for (int p = 0; p < kSharedPeriodCount; p++) {
    pages_[p] = new QStackedWidget(tabs_);
    tables_[p] = MakeTable(pages_[p]);
    stateLines_[p] = new QLabel(pages_[p]);
    stateLines_[p]->setAlignment(Qt::AlignCenter);
    stateLines_[p]->setWordWrap(true);
    pages_[p]->addWidget(tables_[p]);
    pages_[p]->addWidget(stateLines_[p]);
    tabs_->addTab(pages_[p], QString::fromUtf8(kSharedPeriodTitles[p]));
    connect(tables_[p], &QTableWidget::itemSelectionChanged, this, [this] { UpdateWatchButton(); });
    connect(tables_[p], &QTableWidget::cellDoubleClicked, this, [this] { Watch(); });
  }
  tabs_->setCurrentIndex(static_cast<int>(SharedPeriod::All));
  connect(tabs_, &QTabWidget::currentChanged, this, [this] { UpdateWatchButton(); });
  layout->addWidget(tabs_, 1);

  auto* buttons = new QHBoxLayout();
  watch_ = new QPushButton(QString::fromUtf8(kOnlineWatchLabel), this);
  refresh_ = new QPushButton(QString::fromUtf8(kOnlineRefreshLabel), this);
  watch_->setAutoDefault(false);
  refresh_->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(watch_);
  buttons->addWidget(refresh_);
  layout->addLayout(buttons);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(status_);

  connect(enable_, &QCheckBox::clicked, this, [this] { ApplyChoices(); });
  connect(autoSend_, &QCheckBox::clicked, this, [this] { ApplyChoices(); });
  connect(server_, &QLineEdit::editingFinished, this, [this] {
    if (server_->isModified()) ApplyChoices();
  });
  connect(refresh_, &QPushButton::clicked, this, [] { SessionRefreshSharedRanking(); });
  connect(watch_, &QPushButton::clicked, this, [this] { Watch(); });
  ShowView();
}

void SharedRankingDialog::ApplyChoices() {
  OnlineSettings settings;
  settings.enabled = enable_->isChecked();
  settings.server = server_->text().toStdString();
  settings.autoSend = autoSend_->isChecked();
  server_->setModified(false);
  SessionSetOnline(settings);
  // The address as the session normalized it.
  ShowView();
}

void SharedRankingDialog::ShowView() {
  const SharedRankingViewData& view = SharedRankingView();
  {
    const QSignalBlocker blockEnable(enable_);
    const QSignalBlocker blockAuto(autoSend_);
    enable_->setChecked(view.settings.enabled);
    autoSend_->setChecked(view.settings.autoSend);
  }
  if (!server_->isModified()) {
    const QSignalBlocker blockServer(server_);
    const QString shown = QString::fromStdString(view.server);
    if (server_->text() != shown) server_->setText(shown);
  }
  for (int p = 0; p < kSharedPeriodCount; p++) {
    const SharedRankingTable& data = view.tables[p];
    FillTable(tables_[p], data);
    const char* state = SharedTableStateText(data);
    stateLines_[p]->setText(QString::fromUtf8(state));
    pages_[p]->setCurrentWidget(state[0] != '\0' ? static_cast<QWidget*>(stateLines_[p])
                                                 : static_cast<QWidget*>(tables_[p]));
  }
  refresh_->setEnabled(view.settings.enabled && !view.server.empty());
  status_->setText(QString::fromStdString(view.status));
  UpdateWatchButton();
}

void SharedRankingDialog::UpdateWatchButton() {
  const SharedRankingViewData& view = SharedRankingView();
  const int period = tabs_->currentIndex();
  bool can = false;
  if (period >= 0 && period < kSharedPeriodCount && view.settings.enabled && !view.watching) {
    const SharedRankingTable& data = view.tables[period];
    const int row = tables_[period]->currentRow();
    can = data.state == FetchState::Loaded && row >= 0 && row < data.count &&
          tables_[period]->selectionModel()->isRowSelected(row, QModelIndex()) &&
          !data.rows[row].replay.empty();
  }
  watch_->setEnabled(can);
}

void SharedRankingDialog::Watch() {
  UpdateWatchButton();
  if (!watch_->isEnabled()) return;
  const int period = tabs_->currentIndex();
  SessionWatchSharedReplay(static_cast<SharedPeriod>(period), tables_[period]->currentRow());
}

void ShowSharedRankingDialog() {
  MainWindow* owner = HostWindow();
  if (owner == nullptr || ShutdownRequested()) return;
  if (dialog == nullptr) {
    dialog = new SharedRankingDialog(owner);
    dialog->adjustSize();
    CenterWindow(dialog);
  } else {
    dialog->ShowView();
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void RefreshSharedRankingDialog() {
  if (dialog != nullptr && dialog->isVisible()) dialog->ShowView();
}

SharedRankingDialog* SharedRankingDialogIfAny() {
  return dialog;
}

}  // namespace tavro_qt
