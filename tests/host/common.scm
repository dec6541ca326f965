; Ondalux, a dent distort filter. SPDX-License-Identifier: GPL-3.0-or-later
; Helpers shared by the GIMP 2.10 and GIMP 3 host tests. The test driver defines
; results-path before loading this file and closes the port at the end.

(define results (open-output-file results-path))

; One line "key value ...", read back by the C++ side.
(define (report key . values)
  (display key results)
  (for-each (lambda (v) (display " " results) (display v results)) values)
  (newline results))

(define (string-contains? text part)
  (let ((n (string-length text)) (m (string-length part)))
    (let loop ((i 0))
      (cond ((> (+ i m) n) #f)
            ((string=? (substring text i (+ i m)) part) #t)
            (else (loop (+ i 1)))))))

; The PDB status of calling thunk: success, calling-error or execution-error.
(define (status-of thunk)
  (call/cc
    (lambda (return)
      (let ((previous *error-hook*))
        (set! *error-hook*
              (lambda args
                (set! *error-hook* previous)
                (let ((message (if (string? (car args)) (car args) "")))
                  (report "error-message" message)
                  (return (cond ((string-contains? message "invalid input arguments")
                                 "calling-error")
                                ((string-contains? message "failed") "execution-error")
                                ((string-contains? message "cancel") "cancel")
                                (else "error"))))))
        (thunk)
        (set! *error-hook* previous)
        "success"))))
