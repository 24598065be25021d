// CCertSelectDlg: the modal dialog in which the user picks the certificate
// SignMessage signs with (template IDD_CERTSELECT). It lists the eligible
// certificates of the personal store by CN (certselect.h), offers the
// system viewer for the selected one, and on OK copies its record into
// m_selected. Constructed without a parent window.
#ifndef QEL_CONTROL_CERTSELECTDLG_H
#define QEL_CONTROL_CERTSELECTDLG_H

#include "certinfo.h"
#include "dialog.h"

class CCertSelectDlg : public fw::CDialog {
public:
    CCertSelectDlg();

    // The certificates loaded at initialisation; the caller clears them
    // once it has signed.
    cert::CCertStoreList m_store;
    // The confirmed certificate after IDOK; empty otherwise, and also when
    // its record could not be read at OK.
    cert::CCertInfo m_selected;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    const fw::MsgTable& GetMessageTable() const override;

private:
    void OnView();
    void OnSelChange();
    void UpdateButtons();
    // The store index of the selected item, or -1.
    int SelectedIndex() const;
};

#endif
