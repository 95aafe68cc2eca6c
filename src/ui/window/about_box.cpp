#include "ui/window/about_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QtGlobal>

#include "korvantis_version.h"

namespace korvantis::ui {

namespace {

struct Component {
    QString name;
    QString licence;
};

// What the program is built from besides its own code, and under which
// licences; the texts ship under /usr/share/doc/korvantis/.
QList<Component> components() {
    return {
        {QStringLiteral("Qt %1").arg(QString::fromLatin1(qVersion())),
         QStringLiteral("GNU LGPL 3.0")},
        {QStringLiteral("simdjson " KORVANTIS_SIMDJSON_VERSION), QStringLiteral("Apache 2.0")},
        {QStringLiteral("D3 7.9.2 (the tree window)"), QStringLiteral("ISC")},
        {QStringLiteral("Comic Relief font"), QStringLiteral("SIL Open Font License 1.1")},
        {QStringLiteral("zlib"), QStringLiteral("zlib licence")},
        {QStringLiteral("Zstandard (zstd)"), QStringLiteral("BSD 3-clause")},
        {QStringLiteral("yaml-cpp " KORVANTIS_YAML_CPP_VERSION " (detection rules)"),
         QStringLiteral("MIT")},
        {QStringLiteral("RE2 (detection rules)"), QStringLiteral("BSD 3-clause")},
        {QStringLiteral("libcurl (sending to ClickHouse)"), QStringLiteral("curl licence")},
    };
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Korvantis"));
    auto* label = new QLabel(text(), this);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(buttons);
}

QString AboutBox::text() {
    QString rows;
    for (const Component& c : components()) {
        rows += QStringLiteral("<tr><td>%1</td><td>&nbsp;&nbsp;%2</td></tr>")
                    .arg(c.name.toHtmlEscaped(), c.licence.toHtmlEscaped());
    }
    return tr("<h3>Korvantis %1</h3>"
              "<p>A desktop viewer for logs of macOS Endpoint Security events.</p>"
              "<p>Copyright \u00a9 2026 the Korvantis developers. MIT licence.</p>"
              "<p>Built with:</p><table>%2</table>"
              "<p>The licence texts are in /usr/share/doc/korvantis/.</p>")
        .arg(QStringLiteral(KORVANTIS_VERSION), rows);
}

}  // namespace korvantis::ui
