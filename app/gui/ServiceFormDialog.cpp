// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceFormDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ServiceFormDialog::ServiceFormDialog(Kind kind, QWidget* parent) : QDialog(parent) {
    const bool adding = kind == Kind::Add;
    setObjectName(adding ? QStringLiteral("addWindow") : QStringLiteral("editWindow"));
    setWindowTitle(adding ? tr("Add Service") : tr("Edit Service"));
    setModal(false);

    serverAddress = new QLineEdit(this);
    serverAddress->setPlaceholderText(tr("host name or address"));
    userName = new QLineEdit(this);
    userPassword = new QLineEdit(this);
    userPassword->setEchoMode(QLineEdit::Password);
    userPassword->setPlaceholderText(tr("for askpass mode; may stay empty"));
    serverPort = new QLineEdit(this);
    forwardInfo = new QLineEdit(this);
    if (adding) {
        serverPort->setPlaceholderText(tr("8080, or 8080,8081"));
        forwardInfo->setPlaceholderText(tr("host:port, or host:port,host:port"));
    } else {
        serverPort->setPlaceholderText(tr("8080"));
        forwardInfo->setPlaceholderText(tr("host:port"));
    }
    isSocks = new QCheckBox(tr("SO&CKS proxy"), this);
    isSocks->setToolTip(tr("A dynamic SOCKS proxy on the listen port (ssh -D)"));
    reverseButton = new QCheckBox(tr("Re&verse tunnel"), this);
    reverseButton->setToolTip(
        tr("Listen on the server and forward to the address from this machine (ssh -R)"));

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(tr("&Server:"), serverAddress);
    form->addRow(tr("&User:"), userName);
    form->addRow(tr("&Password:"), userPassword);
    form->addRow(adding ? tr("&Listen port(s):") : tr("&Listen port:"), serverPort);
    form->addRow(adding ? tr("&Forward address(es):") : tr("&Forward address:"), forwardInfo);
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(isSocks);
    kinds->addWidget(reverseButton);
    kinds->addStretch(1);
    form->addRow(QString(), kinds);

    auto* box = new QDialogButtonBox(this);
    okButton = box->addButton(QDialogButtonBox::Ok);
    cancelButton = box->addButton(QDialogButtonBox::Cancel);
    okButton->setDefault(true);
    okButton->setObjectName(adding ? QStringLiteral("okButton") : QStringLiteral("eokButton"));
    cancelButton->setObjectName(adding ? QStringLiteral("canButton")
                                       : QStringLiteral("ecanButton"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    if (adding) {
        auto* hint = new QLabel(tr("Several services at once: give as many listen ports as "
                                   "forward addresses, each list separated by commas."),
                                this);
        hint->setWordWrap(true);
        hint->setEnabled(false);
        layout->addWidget(hint);
    }
    layout->addStretch(1);
    layout->addWidget(box);

    setTabOrder(serverAddress, userName);
    setTabOrder(userName, userPassword);
    setTabOrder(userPassword, serverPort);
    setTabOrder(serverPort, forwardInfo);
    setTabOrder(forwardInfo, isSocks);
    setTabOrder(isSocks, reverseButton);

    setMinimumWidth(420);
    resize(460, sizeHint().height());
}
