#pragma once
// The "About..." dialog: product name, version, two link buttons and a link label; below them
// the licence and the credits of the pictures and lines.
#include <QDialog>
#include <QImage>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace nimbora {

// The addresses the dialog opens (the main window's current service links).
struct TAboutLinks {
    std::string HomeUrl;     // "Web page"
    std::string HomeContact; // "Contact", with the program's query added
    std::string ProdUrl;     // the link label
};

// Opens an address; OpenLink unless a caller supplies another.
using TLinkOpener = std::function<bool(const std::string& address)>;

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    TAboutForm(QWidget* parent, const TAboutLinks& links, TLinkOpener opener = {});

    void MRLabelClick();
    void HomeBtClick();
    void ContactBtClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void PaintBackground();
    void Open(const std::string& address);

    TAboutLinks Links;
    TLinkOpener Opener;
    QWidget* GoldPanel = nullptr;
    QLabel* ProgramImage = nullptr;
    QLabel* MakerImage = nullptr;
    QLabel* ProdNameLabel = nullptr;
    QLabel* MRLabel = nullptr;
    QWidget* TextPanel = nullptr;
    QLabel* BakImage = nullptr;
    QLabel* InfoLabel = nullptr;
    QPushButton* HomeBt = nullptr;
    QPushButton* ContactBt = nullptr;
    QLabel* CreditsLabel = nullptr; // the licence and the credits of the data
};

// Shows the dialog modally over parent and returns when it is closed. Called by "About...".
void ShowAboutDialog(QWidget* parent, const TAboutLinks& links);

// The text panel's background: light in the top left corner, shading to the panel's dark
// colour towards the right and bottom edges. 24-bit; null for an empty size.
QImage PaintBakImage(int width, int height);

// The contact address with the program's query ("?" or, when it already has a query, "&").
// Empty when there is no contact address.
std::string ContactAddress(const std::string& contact);

} // namespace nimbora
