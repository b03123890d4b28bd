// SPDX-License-Identifier: GPL-2.0-only
/*
 * tolvex.c - I/O register control driver.
 *
 * One character device, major 252, name "tolvex". All work is done by the
 * ioctl command handler: single port register read/write, the power
 * stop-mode sequence (full and test variant) and one touch-screen ADC
 * sample. Open, read and release do nothing; write takes no data.
 *
 * Built for the board's kernel, 2.6.21.5-cfs-v19. The handler sits in the
 * ioctl slot, so the kernel's global lock is held around every command and
 * serialises them.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/fs.h>
#include <linux/errno.h>
#include <linux/types.h>
#include <linux/stddef.h>
#include <linux/delay.h>
#include <asm/io.h>
#include <asm/uaccess.h>

#include "tolvex.h"

#define TOLVEX_MAJOR	252
#define TOLVEX_NAME	"tolvex"

/* Kernel virtual address of a register in one of the fixed I/O mappings. */
#define REG(addr)	((void __iomem *)(unsigned long)(addr))

/*
 * System control block (fixed mapping at 0xF0000000): three words whose
 * bit 0 must be set before the stop-mode request. The prologue sets it and
 * nothing clears it again.
 */
#define SYS_STOP_PREP_W00	0xF0000000
#define SYS_STOP_PREP_W08	0xF0000008
#define SYS_STOP_PREP_W10	0xF0000010
#define SYS_STOP_PREP_BIT	0x1

/* Power management block (fixed mapping at 0xF0200000). */
#define PWR_STOP_REQ	0xF0200040	/* writing 0x00010000 requests stop mode */
#define PWR_CFG		0xF0200060	/* power configuration word */
/*
 * Bit 31 is cleared before any port is switched for stop mode and set again
 * only after both ports have been restored.
 */
#define PWR_HOLD	0xF020008C

#define PWR_STOP_REQ_VAL	0x00010000
#define PWR_CFG_CLEAR		0x0001000F	/* bits 0-3 and 16 */
#define PWR_CFG_SET		0x00028380	/* bits 7, 8, 9, 15 and 17 */
#define PWR_HOLD_BIT		0x80000000

/*
 * Port register block (fixed mapping at 0xF6400000, one 4 KiB page): one
 * 16-byte group per port, configuration word (2-bit mode per pin), data
 * word (1 bit per pin), third word. Port F is group 5, port G group 6.
 */
#define GPIO_BASE	0xF6400000
#define GPIO_SIZE	0x1000
#define GPFCON		0xF6400050	/* port F configuration word */
#define GPGCON		0xF6400060	/* port G configuration word */

#define GPIO_MODE_MASK	0x3	/* one pin's mode field */
#define GPIO_MODE_2	0x2	/* the mode switched off before stop mode */

/*
 * Third words of two groups that take fixed values before the stop-mode
 * request and are not restored afterwards: port F's has bits 0-1 cleared,
 * group 8's has its low three bits set to 4.
 */
#define GPF_WORD3		0xF6400058
#define GPF_WORD3_STOP_CLEAR	0x3
#define GP8_WORD3		0xF6400088
#define GP8_WORD3_STOP_FIELD	0x7
#define GP8_WORD3_STOP_VAL	0x4

/* Touch-screen converter window, mapped for the length of one sample. */
#define ADC_PHYS	0x58000000
#define ADC_SIZE	0x20
#define ADC_CTRL	0x00	/* bit 0 starts, bit 15 shows end of conversion */
#define ADC_SETUP	0x04	/* set-up word, 0xDC before the start */
#define ADC_DATA0	0x0C	/* bits 0-11: x sample */
#define ADC_DATA1	0x10	/* bits 0-11: y sample */

#define ADC_START	0x1
#define ADC_DONE	0x8000
#define ADC_SETUP_VAL	0x000000DC
#define ADC_DATA_MASK	0xFFF
/* End-of-conversion polls after the first one, each after one busy-wait. */
#define ADC_MAX_WAITS	50

/*
 * The busy-wait of the stop-mode sequence and of the converter poll. The
 * processor is not given up.
 */
#define BUSY_WAIT_MS	20

/*
 * External linkage on purpose: the two saved words, the SysPBA_* and pw_*
 * functions and tolvex_init/tolvex_exit below are part of the module's fixed
 * set of global symbols, so they are not static. None of them is exported
 * to other modules (no EXPORT_SYMBOL).
 */

/* Port configuration words saved by the prologue, restored by the epilogue. */
u32 rGPFCON;
u32 rGPGCON;

u32 SysPBA_Q7M_GetOffset(u32 ulIOType);
u32 SysPBA_GPort_Read(u32 ulIOType);
void SysPBA_GPort_Write(u32 ulIOType, u32 ulValue);
u32 SysPBA_GPort_ReadBit(u32 ulIOType, u32 uwPortNum);
void SysPBA_GPort_WriteBit(u32 ulIOType, u32 uwPortNum, u32 ulValue);
void pw_cfg_init(void);
void pw_ioport_prologue(void);
void pw_ioport_epilogue(void);
int tolvex_init(void);
void tolvex_exit(void);

/*
 * Port access by identifier, for code linked with the module: no ioctl
 * command uses these functions (commands 2 and 3 take a byte offset).
 *
 * Byte offset of the data word (group base + 4) of the port group that
 * ulIOType selects: 16 * (ulIOType - 21) + 4 for identifiers up to 38, so
 * 21..38 select groups 0..17; 16 * (ulIOType - 25) + 4 from 39 up, so 39
 * selects group 14 again (like 35) and the groups count on from there.
 * The last identifier inside the block is Q7M_LAST_ID; a larger one gives
 * GPIO_SIZE, an offset the callers refuse, before 16 * ulIOType can wrap
 * around 2^32 into the block (0x10000019 would give 4).
 */
#define Q7M_LAST_ID	((GPIO_SIZE + 396 - 4) / 16)

u32 SysPBA_Q7M_GetOffset(u32 ulIOType)
{
	if (ulIOType > Q7M_LAST_ID)
		return GPIO_SIZE;
	if (ulIOType <= 38)
		return 16 * ulIOType - 332;
	return 16 * ulIOType - 396;
}

u32 SysPBA_GPort_Read(u32 ulIOType)
{
	u32 off = SysPBA_Q7M_GetOffset(ulIOType);

	/* A data word outside the block reads as 0 and is not touched. */
	if (off >= GPIO_SIZE)
		return 0;
	return __raw_readl(REG(GPIO_BASE + off));
}

void SysPBA_GPort_Write(u32 ulIOType, u32 ulValue)
{
	u32 off = SysPBA_Q7M_GetOffset(ulIOType);

	if (off >= GPIO_SIZE)
		return;
	__raw_writel(ulValue, REG(GPIO_BASE + off));
}

/* Pin numbers from 32 up select no bit. */
static u32 pin_mask(u32 uwPortNum)
{
	return uwPortNum < 32 ? 1U << uwPortNum : 0;
}

u32 SysPBA_GPort_ReadBit(u32 ulIOType, u32 uwPortNum)
{
	u32 val = SysPBA_GPort_Read(ulIOType);

	return (val & pin_mask(uwPortNum)) ? 1 : 0;
}

void SysPBA_GPort_WriteBit(u32 ulIOType, u32 uwPortNum, u32 ulValue)
{
	u32 ulReg = SysPBA_GPort_Read(ulIOType);
	u32 mask = pin_mask(uwPortNum);

	if (ulValue)
		ulReg |= mask;
	else
		ulReg &= ~mask;
	SysPBA_GPort_Write(ulIOType, ulReg);
}

static void busy_wait(void)
{
	mdelay(BUSY_WAIT_MS);
}

void pw_cfg_init(void)
{
	u32 val = __raw_readl(REG(PWR_CFG));

	val &= ~PWR_CFG_CLEAR;
	val |= PWR_CFG_SET;
	__raw_writel(val, REG(PWR_CFG));
}

/* Clear every pin mode field (pins 0-7) that holds mode 2. */
static u32 pw_mode2_off(u32 reg)
{
	u32 reg2 = reg;
	int i;

	for (i = 0; i < 16; i += 2)
		if (((reg >> i) & GPIO_MODE_MASK) == GPIO_MODE_2)
			reg2 &= ~(GPIO_MODE_MASK << i);
	return reg2;
}

/* One register: load, clear the bits in clear, set those in set, store. */
static void clear_set_bits(u32 addr, u32 clear, u32 set)
{
	u32 val = __raw_readl(REG(addr));

	val &= ~clear;
	val |= set;
	__raw_writel(val, REG(addr));
}

void pw_ioport_prologue(void)
{
	u32 reg;

	clear_set_bits(PWR_HOLD, PWR_HOLD_BIT, 0);

	reg = __raw_readl(REG(GPFCON));
	rGPFCON = reg;
	__raw_writel(pw_mode2_off(reg), REG(GPFCON));

	reg = __raw_readl(REG(GPGCON));
	rGPGCON = reg;
	__raw_writel(pw_mode2_off(reg), REG(GPGCON));

	clear_set_bits(SYS_STOP_PREP_W00, 0, SYS_STOP_PREP_BIT);
	clear_set_bits(SYS_STOP_PREP_W10, 0, SYS_STOP_PREP_BIT);
	clear_set_bits(SYS_STOP_PREP_W08, 0, SYS_STOP_PREP_BIT);
	clear_set_bits(GP8_WORD3, GP8_WORD3_STOP_FIELD, GP8_WORD3_STOP_VAL);
	clear_set_bits(GPF_WORD3, GPF_WORD3_STOP_CLEAR, 0);
	/* Port F pin 0 ends in mode 2 whatever the switch above did to it. */
	clear_set_bits(GPFCON, GPIO_MODE_MASK, GPIO_MODE_2);
}

void pw_ioport_epilogue(void)
{
	__raw_writel(rGPFCON, REG(GPFCON));
	__raw_writel(rGPGCON, REG(GPGCON));
	clear_set_bits(PWR_HOLD, 0, PWR_HOLD_BIT);
}

static int tolvex_stop_mode(unsigned long arg)
{
	printk("\n>> TOLVEX_CMD_PW_STOP_MODE\n");
	pw_ioport_prologue();
	busy_wait();
	pw_cfg_init();
	__raw_writel(PWR_STOP_REQ_VAL, REG(PWR_STOP_REQ));
	pw_ioport_epilogue();
	busy_wait();
	printk("\n<< TOLVEX_CMD_PW_STOP_MODE\n");
	return 0;
}

static int tolvex_stop_mode_test(unsigned long arg)
{
	pw_cfg_init();
	__raw_writel(PWR_STOP_REQ_VAL, REG(PWR_STOP_REQ));
	busy_wait();
	return 0;
}

/* A register offset must name one aligned word inside the port block. */
static int gport_offset_ok(u32 off)
{
	return (off & 3) == 0 && off < GPIO_SIZE;
}

static int tolvex_gport_read(unsigned long arg)
{
	GPORT_DATA __user *urec = (GPORT_DATA __user *)arg;
	/*
	 * The result field is addressed by byte offset, not as a member of a
	 * record: the caller's pointer may be misaligned. The sum is formed on
	 * the integer, where it wraps; as a pointer sum it would overflow for
	 * an argument at the top of the address space (that one then fails
	 * the copy below).
	 */
	char __user *uvalue =
		(char __user *)(arg + offsetof(GPORT_DATA, ulvalue));
	GPORT_DATA rec;
	u32 val;

	if (copy_from_user(&rec, urec, sizeof(rec)))
		return -EFAULT;
	if (!gport_offset_ok(rec.uloffset))
		return -EINVAL;
	/*
	 * Make sure the result can be stored before touching the register:
	 * write the caller's own value back first.
	 */
	if (copy_to_user(uvalue, &rec.ulvalue, sizeof(rec.ulvalue)))
		return -EFAULT;
	val = __raw_readl(REG(GPIO_BASE + rec.uloffset));
	if (copy_to_user(uvalue, &val, sizeof(val)))
		return -EFAULT;
	return 0;
}

static int tolvex_gport_write(unsigned long arg)
{
	GPORT_DATA __user *urec = (GPORT_DATA __user *)arg;
	GPORT_DATA rec;

	if (copy_from_user(&rec, urec, sizeof(rec)))
		return -EFAULT;
	if (!gport_offset_ok(rec.uloffset))
		return -EINVAL;
	__raw_writel(rec.ulvalue, REG(GPIO_BASE + rec.uloffset));
	return 0;
}

static int tolvex_nop(unsigned long arg)
{
	return 0;
}

static int tolvex_ts_adc(unsigned long arg)
{
	TSADC_DATA __user *urec = (TSADC_DATA __user *)arg;
	TSADC_DATA rec;
	void __iomem *base;
	int waits;
	int ret = 0;

	base = ioremap(ADC_PHYS, ADC_SIZE);
	if (!base)
		return -ENOMEM;

	__raw_writel(ADC_SETUP_VAL, base + ADC_SETUP);
	__raw_writel(__raw_readl(base + ADC_CTRL) | ADC_START, base + ADC_CTRL);

	/* Bounded wait: a converter that never ends must not hang the board. */
	for (waits = 0; !(__raw_readl(base + ADC_CTRL) & ADC_DONE); waits++) {
		if (waits == ADC_MAX_WAITS) {
			iounmap(base);
			return -ETIMEDOUT;
		}
		busy_wait();
	}

	rec.xp = __raw_readl(base + ADC_DATA0) & ADC_DATA_MASK;
	rec.yp = __raw_readl(base + ADC_DATA1) & ADC_DATA_MASK;
	if (copy_to_user(urec, &rec, sizeof(rec)))
		ret = -EFAULT;

	iounmap(base);
	return ret;
}

/*
 * Work of each command, indexed by its code. Code 0 has no entry and is
 * refused like every code past the end.
 */
static int (*const tolvex_cmds[])(unsigned long arg) = {
	[TOLVEX_CMD_PW_STOP_MODE]	= tolvex_stop_mode,
	[TOLVEX_CMD_GPORT_READ]		= tolvex_gport_read,
	[TOLVEX_CMD_GPORT_WRITE]	= tolvex_gport_write,
	[TOLVEX_PBA_END_GPOTEST]	= tolvex_nop,
	[TOLVEX_CMD_TS_ADC]		= tolvex_ts_adc,
	[TOLVEX_CMD_PW_STOP_MODE_TEST]	= tolvex_stop_mode_test,
};

/* Runs a known command; any other code is answered with -ENOTTY. */
static int tolvex_ioctl(struct inode *inode, struct file *file,
			unsigned int cmd, unsigned long arg)
{
	printk("%s(%d)\n", __func__, (int)cmd);
	if (cmd >= ARRAY_SIZE(tolvex_cmds) || !tolvex_cmds[cmd])
		return -ENOTTY;
	return tolvex_cmds[cmd](arg);
}

static int tolvex_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int tolvex_release(struct inode *inode, struct file *file)
{
	return 0;
}

static ssize_t tolvex_read(struct file *file, char __user *buf, size_t count,
			   loff_t *ppos)
{
	return 0;
}

/*
 * The device takes no data. A write of 0 bytes succeeds; any other count is
 * refused: answering 0 would make the C library's and the shell's write
 * loops retry for ever ("echo x > /dev/tolvex" would hang).
 */
static ssize_t tolvex_write(struct file *file, const char __user *buf,
			    size_t count, loff_t *ppos)
{
	return count ? -EINVAL : 0;
}

static const struct file_operations tolvex_fops = {
	.owner		= THIS_MODULE,
	.read		= tolvex_read,
	.write		= tolvex_write,
	.ioctl		= tolvex_ioctl,
	.open		= tolvex_open,
	.release	= tolvex_release,
};

int tolvex_init(void)
{
	return register_chrdev(TOLVEX_MAJOR, TOLVEX_NAME, &tolvex_fops);
}

void tolvex_exit(void)
{
	unregister_chrdev(TOLVEX_MAJOR, TOLVEX_NAME);
}

/*
 * 339 and 352 in the load and unload lines are fixed log text, not source
 * line numbers: they stay as they are when the code around them moves.
 */
static int __init device_init(void)
{
	int ret;

	printk("[%s : %d] device_init() start !!!\n", __func__, 339);
	ret = tolvex_init();
	if (ret < 0)
		goto err_init;
	return 0;

err_init:
	return ret;
}

static void __exit device_exit(void)
{
	printk("[%s : %d] device_exit() !!!\n", __func__, 352);
	tolvex_exit();
}

module_init(device_init);
module_exit(device_exit);

MODULE_LICENSE("GPL");
#ifdef TOLVEX_VERSION
MODULE_VERSION(TOLVEX_VERSION);
#endif
