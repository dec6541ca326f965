; Helpers for driving plug-in-ondalux from a headless GIMP. The test driver defines
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
                  (return (cond ((string-contains? message "invalid input arguments")
                                 "calling-error")
                                ((string-contains? message "failed") "execution-error")
                                (else "error"))))))
        (thunk)
        (set! *error-hook* previous)
        "success"))))

(define loaded-images '())

; A new image holding the PNG at path; each file is loaded only once.
(define (fresh-copy path)
  (let ((cached (assoc path loaded-images)))
    (if cached
        (car (gimp-image-duplicate (cdr cached)))
        (let ((image (car (file-png-load RUN-NONINTERACTIVE path path))))
          (set! loaded-images (cons (cons path image) loaded-images))
          (fresh-copy path)))))

(define (layer-of image) (car (gimp-image-get-active-drawable image)))

; box is (x y width height), or #f for the whole layer.
(define (select-box image box)
  (if box
      (gimp-image-select-rectangle image CHANNEL-OP-REPLACE
                                   (car box) (cadr box) (caddr box) (cadddr box))))

; Keeps the colour of fully transparent pixels, so tests see every byte.
(define (save-layer image path)
  (file-png-save2 RUN-NONINTERACTIVE image (layer-of image) path path
                  0 9 0 0 0 0 0 0 1))

(define (run-ondalux run-mode image scale turbulence)
  (status-of (lambda () (plug-in-ondalux run-mode image (layer-of image)
                                         scale turbulence))))

; Runs the filter on a copy of source and reports its status under name.
(define (render-case name source box run-mode scale turbulence output)
  (let ((image (fresh-copy source)))
    (select-box image box)
    (report name (run-ondalux run-mode image scale turbulence))
    (save-layer image output)
    (gimp-image-delete image)))

; The stored settings bytes, or "none".
(define (report-stored key)
  (let ((data (catch #f (cadr (gimp-procedural-db-get-data "plug-in-ondalux")))))
    (if data
        (apply report key (vector->list data))
        (report key "none"))))

(define (store-settings-bytes bytes)
  (gimp-procedural-db-set-data "plug-in-ondalux" (length bytes) (list->vector bytes)))

; Like report, but values appear as Scheme would read them (strings quoted).
(define (report-written key . values)
  (display key results)
  (for-each (lambda (v) (display " " results) (write v results)) values)
  (newline results))

(define positive-infinity (* 1e308 10))
(define not-a-number (- positive-infinity positive-infinity))
