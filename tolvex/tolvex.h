/* SPDX-License-Identifier: GPL-2.0-only */
/*
 * tolvex.h - ioctl interface of the tolvex I/O register control driver.
 *
 * The one file user programs include. The request code passed to ioctl()
 * on a node of major 252 is the command value itself (no direction, size
 * or type bits). Both records are 8 bytes: two unsigned 32-bit fields in
 * the processor's byte order, no padding.
 */
#ifndef TOLVEX_H
#define TOLVEX_H

enum {
	TOLVEX_CMD_PW_STOP_MODE = 1,	/* full stop-mode sequence; arg ignored */
	TOLVEX_CMD_GPORT_READ,		/* arg: GPORT_DATA *, ulvalue <- register */
	TOLVEX_CMD_GPORT_WRITE,		/* arg: GPORT_DATA *, register <- ulvalue */
	TOLVEX_PBA_END_GPOTEST,		/* does nothing; arg ignored */
	TOLVEX_CMD_TS_ADC,		/* arg: TSADC_DATA *, one touch-screen sample */
	TOLVEX_CMD_PW_STOP_MODE_TEST,	/* stop-mode request only; arg ignored */
};

typedef struct {
	unsigned int uloffset;	/* byte offset in the port register block */
	unsigned int ulvalue;	/* value read (command 2) or to write (3) */
} GPORT_DATA;

typedef struct {
	unsigned int xp;	/* x sample, 12 bits */
	unsigned int yp;	/* y sample, 12 bits */
} TSADC_DATA;

#endif /* TOLVEX_H */
