//! The Rust `plist` crate on one document, in the protocol every peer follows (README.md):
//!     plist_peer FILE REPS [write]
use plist::Value;
use std::io::Cursor;
use std::process::exit;

#[repr(C)]
struct Timespec {
    sec: i64,
    nsec: i64,
}

extern "C" {
    fn clock_gettime(clock: i32, ts: *mut Timespec) -> i32;
}

const CLOCK_PROCESS_CPUTIME_ID: i32 = 2;

fn cpu_seconds() -> f64 {
    let mut ts = Timespec { sec: 0, nsec: 0 };
    unsafe { clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &mut ts) };
    ts.sec as f64 + ts.nsec as f64 * 1e-9
}

/// Values in the tree, containers included, keys not.
fn count(v: &Value) -> usize {
    1 + match v {
        Value::Array(a) => a.iter().map(count).sum(),
        Value::Dictionary(d) => d.values().map(count).sum(),
        _ => 0,
    }
}

fn status_bytes(field: &str) -> i64 {
    let status = std::fs::read_to_string("/proc/self/status").unwrap_or_default();
    for line in status.lines() {
        if let Some(rest) = line.strip_prefix(field) {
            let kb = rest.split_whitespace().next().and_then(|k| k.parse::<i64>().ok());
            return kb.unwrap_or(-1) * 1024;
        }
    }
    -1
}

fn parse(data: &[u8]) -> Value {
    Value::from_reader(Cursor::new(data)).unwrap_or_else(|e| {
        eprintln!("plist_peer: {}", e);
        exit(1)
    })
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() < 3 {
        eprintln!("usage: plist_peer FILE REPS [write]");
        exit(2);
    }
    let data = std::fs::read(&args[1]).expect("cannot read the document");
    let reps: usize = args[2].parse().expect("REPS is a number");
    // The peak restarts here, with the input read.
    std::fs::write("/proc/self/clear_refs", "5").expect("cannot reset the peak");
    let before = status_bytes("VmRSS:");
    let start = cpu_seconds();
    let mut value = parse(&data);
    println!("first_parse {:.6}", cpu_seconds() - start);
    println!("mem {}", status_bytes("VmHWM:") - before);
    println!("nodes {}", count(&value));
    for _ in 0..reps {
        drop(value); // freeing is not timed
        let start = cpu_seconds();
        value = parse(&data);
        println!("parse {:.6}", cpu_seconds() - start);
    }
    if args.get(3).map(String::as_str) == Some("write") {
        for xml in [true, false] {
            for i in 0..=reps {
                let mut out = Vec::new();
                let start = cpu_seconds();
                let done = if xml { value.to_writer_xml(&mut out) } else { value.to_writer_binary(&mut out) };
                let name = if xml { "write_xml" } else { "write_bin" };
                println!("{}{} {:.6}", if i == 0 { "first_" } else { "" }, name, cpu_seconds() - start);
                done.expect("cannot write");
                drop(out); // freeing is not timed
            }
        }
    }
}
