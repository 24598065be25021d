#include "kvocheckpassword.h"

#include "resource.h"

CPasswordDlg::CPasswordDlg() : fw::CDialog(IDD_KVO_PASSWORD) {}

void CPasswordDlg::DoDataExchange(fw::CDataExchange& dx) { dx.Text(IDC_KVO_PASSWORD, m_strPassword); }
