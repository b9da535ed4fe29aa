// Packs files with jLHA's -lh1- encoder, the way its archiver does it.
//
//   JlhaPack sizes ROOT LIST OUTDIR
//     For each file named in LIST (one path a line, all under ROOT) prints
//     "<index> <method> <packed> <original> <header> <path>": the member
//     jLHA's LhaOutputStream writes for it (-lh1-, or -lh0- when -lh1- did
//     not shrink it, then <packed> is the stored size) and the size of that
//     member's header. Also writes the raw -lh1- stream of every file, kept
//     even when it is larger than the file, to OUTDIR/<path under ROOT>, and
//     lists "<path under ROOT> <original>" in OUTDIR/index.txt, so that
//     other decoders can be fed with them.
//
//   JlhaPack time LIST
//     Reads the files into memory, packs them all into one archive twice
//     (the first pass warms the JIT) and prints "<nanoseconds> <bytes>" for
//     the second pass: the time LhaOutputStream spends on the whole list,
//     fall-backs to -lh0- included.
import java.io.*;
import java.nio.charset.StandardCharsets;
import java.nio.file.*;
import java.util.*;
import jp.gr.java_conf.dangan.util.lha.*;

public class JlhaPack {
    static List<String> readList(String list) throws IOException {
        List<String> paths = new ArrayList<>();
        for (String line : Files.readAllLines(Paths.get(list), StandardCharsets.UTF_8))
            if (!line.isEmpty()) paths.add(line);
        return paths;
    }

    // Counts what it is given and keeps nothing.
    static class CountingSink extends OutputStream {
        long count;
        public void write(int b) { count++; }
        public void write(byte[] b, int off, int len) { count += len; }
    }

    static void packMember(OutputStream archive, byte[] data, String name) throws IOException {
        LhaHeader header = new LhaHeader(name, new Date(1600000000000L));
        header.setCompressMethod("-lh1-");
        LhaOutputStream lha = (LhaOutputStream) archive;
        lha.putNextEntry(header);
        lha.write(data);
        lha.closeEntry();
    }

    static void sizes(String root, String list, String outDir) throws Exception {
        Path rootPath = Paths.get(root).toAbsolutePath().normalize();
        Properties props = LhaProperty.getProperties();
        List<String> paths = readList(list);
        Files.createDirectories(Paths.get(outDir));
        StringBuilder index = new StringBuilder();
        for (int i = 0; i < paths.size(); i++) {
            byte[] data = Files.readAllBytes(Paths.get(paths.get(i)));
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            LhaOutputStream lha = new LhaOutputStream(bytes);
            String name = Paths.get(paths.get(i)).getFileName().toString();
            packMember(lha, data, name);
            lha.close();
            byte[] archive = bytes.toByteArray();
            byte[] headerData = LhaHeader.getFirstHeaderData(new ByteArrayInputStream(archive));
            LhaHeader member = LhaHeader.createInstance(headerData, props);
            // The archive is the header, the packed data and one end byte.
            long header = archive.length - member.getCompressedSize() - 1;
            System.out.println(i + " " + member.getCompressMethod() + " " + member.getCompressedSize()
                               + " " + member.getOriginalSize() + " " + header + " " + paths.get(i));

            ByteArrayOutputStream raw = new ByteArrayOutputStream();
            OutputStream encoder = CompressMethod.connectEncoder(raw, CompressMethod.LH1, props);
            encoder.write(data);
            encoder.close();
            Path relative = rootPath.relativize(Paths.get(paths.get(i)).toAbsolutePath().normalize());
            Path target = Paths.get(outDir).resolve(relative);
            Files.createDirectories(target.getParent());
            Files.write(target, raw.toByteArray());
            index.append(relative).append(' ').append(data.length).append('\n');
        }
        Files.write(Paths.get(outDir, "index.txt"), index.toString().getBytes(StandardCharsets.UTF_8));
    }

    static void time(String list) throws Exception {
        List<String> paths = readList(list);
        List<byte[]> files = new ArrayList<>();
        for (String p : paths) files.add(Files.readAllBytes(Paths.get(p)));
        long elapsed = 0, packed = 0;
        for (int pass = 0; pass < 2; pass++) {
            CountingSink sink = new CountingSink();
            long start = System.nanoTime();
            LhaOutputStream lha = new LhaOutputStream(sink);
            for (int i = 0; i < files.size(); i++)
                packMember(lha, files.get(i), Paths.get(paths.get(i)).getFileName().toString());
            lha.close();
            elapsed = System.nanoTime() - start;
            packed = sink.count;
        }
        System.out.println(elapsed + " " + packed);
    }

    public static void main(String[] args) throws Exception {
        if (args.length == 4 && args[0].equals("sizes")) sizes(args[1], args[2], args[3]);
        else if (args.length == 2 && args[0].equals("time")) time(args[1]);
        else {
            System.err.println("usage: JlhaPack sizes ROOT LIST OUTDIR | JlhaPack time LIST");
            System.exit(2);
        }
    }
}
