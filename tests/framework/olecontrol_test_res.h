// Resource ids of the OLE control test program.
#ifndef QEL_TESTS_OLECONTROL_TEST_RES_H
#define QEL_TESTS_OLECONTROL_TEST_RES_H

#define IDS_FW_TEST_TYPE 101

#endif
