// The engine benchmark's job written for Apache POI HSSF: open the template, clear A4:B9, write
// N entries (label, amount with the accounting format), save as .xls, reopen and read every cell
// back. Runs warm in one JVM: untimed warm-up jobs first so that the JIT has compiled the paths,
// then the median of the timed jobs, wall time and the main thread's CPU time.
//
// usage: java -cp ... PoiJob TEMPLATE OUT_DIR WARMUP N:JOBS [N:JOBS ...]
// prints one line per N: "poi N wall_ms cpu_ms"
import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.util.Arrays;

import org.apache.poi.hssf.usermodel.HSSFCell;
import org.apache.poi.hssf.usermodel.HSSFCellStyle;
import org.apache.poi.hssf.usermodel.HSSFRow;
import org.apache.poi.hssf.usermodel.HSSFSheet;
import org.apache.poi.hssf.usermodel.HSSFWorkbook;
import org.apache.poi.ss.usermodel.CellType;

public final class PoiJob {
    static final String FORMAT = "_($* #,##0_);_($* (#,##0);_($* \"-\"_);_(@_)";
    static final int ROWS_PER_PAIR = 65000;  // as the engine's benchmark lays entries out
    static double sink;

    static HSSFCell cellAt(HSSFSheet sheet, int r, int c) {
        HSSFRow row = sheet.getRow(r);
        if (row == null) row = sheet.createRow(r);
        HSSFCell cell = row.getCell(c);
        if (cell == null) cell = row.createCell(c);
        return cell;
    }

    static void job(File template, File out, int n) throws Exception {
        HSSFWorkbook book;
        try (InputStream in = new FileInputStream(template)) {
            book = new HSSFWorkbook(in);
        }
        HSSFSheet sheet = book.getSheetAt(book.getActiveSheetIndex());
        for (int r = 3; r <= 8; ++r) {
            HSSFRow row = sheet.getRow(r);
            if (row == null) continue;
            for (int c = 0; c <= 1; ++c) {
                HSSFCell cell = row.getCell(c);
                if (cell != null) cell.setCellType(CellType.BLANK);
            }
        }
        // One cell style for the amounts: the amount column's own, with the accounting format.
        HSSFCellStyle amount = book.createCellStyle();
        amount.cloneStyleFrom(cellAt(sheet, 3, 1).getCellStyle());
        amount.setDataFormat(book.createDataFormat().getFormat(FORMAT));
        for (int i = 0; i < n; ++i) {
            // A sheet has 65,536 rows: past 65,000 entries the next pair of columns.
            int r = 3 + i % ROWS_PER_PAIR, c = 2 * (i / ROWS_PER_PAIR);
            cellAt(sheet, r, c).setCellValue("Asset " + i);
            HSSFCell b = cellAt(sheet, r, c + 1);
            b.setCellValue((double) (1000 + i * 7));
            b.setCellStyle(amount);
        }
        try (OutputStream o = new FileOutputStream(out)) {
            book.write(o);
        }
        book.close();
        HSSFWorkbook again;
        try (InputStream in = new FileInputStream(out)) {
            again = new HSSFWorkbook(in);
        }
        HSSFSheet s = again.getSheetAt(again.getActiveSheetIndex());
        double acc = 0;
        for (int r = s.getFirstRowNum(); r <= s.getLastRowNum(); ++r) {
            HSSFRow row = s.getRow(r);
            if (row == null) continue;
            for (int c = Math.max(0, row.getFirstCellNum()); c < row.getLastCellNum(); ++c) {
                HSSFCell cell = row.getCell(c);
                if (cell == null) continue;
                CellType t = cell.getCellType();
                if (t == CellType.FORMULA) t = cell.getCachedFormulaResultType();
                if (t == CellType.NUMERIC) acc += cell.getNumericCellValue();
                else if (t == CellType.STRING) acc += cell.getStringCellValue().length();
                acc += cell.getCellStyle().getDataFormat();
            }
        }
        again.close();
        sink += acc;
    }

    static double median(double[] v) {
        double[] s = v.clone();
        Arrays.sort(s);
        return s.length % 2 == 1 ? s[s.length / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
    }

    public static void main(String[] args) throws Exception {
        File template = new File(args[0]);
        File out = new File(args[1], "poi-job-" + ProcessHandle.current().pid() + ".xls");
        int warmup = Integer.parseInt(args[2]);
        ThreadMXBean threads = ManagementFactory.getThreadMXBean();
        // Warm-up: small jobs by the thousand, then a few of every size to be timed.
        for (int k = 0; k < warmup; ++k) job(template, out, 6);
        for (int a = 3; a < args.length; ++a) {
            int n = Integer.parseInt(args[a].split(":")[0]);
            int warm = Math.max(3, Math.min(200, 200000 / Math.max(n, 1)));
            for (int k = 0; k < warm; ++k) job(template, out, n);
        }
        for (int a = 3; a < args.length; ++a) {
            String[] parts = args[a].split(":");
            int n = Integer.parseInt(parts[0]);
            int jobs = Integer.parseInt(parts[1]);
            double[] wall = new double[jobs], cpu = new double[jobs];
            for (int k = 0; k < jobs; ++k) {
                long c0 = threads.getCurrentThreadCpuTime();
                long w0 = System.nanoTime();
                job(template, out, n);
                wall[k] = (System.nanoTime() - w0) / 1e6;
                cpu[k] = (threads.getCurrentThreadCpuTime() - c0) / 1e6;
            }
            System.out.printf("poi %d %.4f %.4f%n", n, median(wall), median(cpu));
        }
        out.delete();
        if (sink == 42) System.out.println();
    }
}
